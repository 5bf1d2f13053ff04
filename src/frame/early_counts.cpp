#include "frame/early_counts.h"

#include "contaminant/cm_data_file.h"
#include "include/dimensions.h"
#include "sediment/sy_data_file.h"
#include "services/error_reporting.h"
#include "services/record_reader.h"
#include "services/stops.h"
#include "services/titled_block.h"

namespace quendal {

namespace {

// Reads the file up to the record whose characters 2.. match `key` (the first
// character is not compared), then the count as the first free-format value after it.
// With TagMatch::exact the key must not run on into a letter or digit (":CM3" is not
// ":CM31"). Returns 0 on success, 1 when the line was not found, 2 when the count was
// unreadable (`detail` then says where and what).
int read_count_after(RunIo& io, int unit, std::string_view key, TagMatch match, int& count,
                     std::string& detail, FieldPlace* place = nullptr) {
  if (!io.units.is_open(unit)) return 1;
  Unit& file = io.units.unit(unit);
  std::string record;
  bool found = false;
  while (file.read_record(record)) {
    if (record.size() >= 1 + key.size() && std::string_view(record).substr(1, key.size()) == key &&
        (match == TagMatch::contains || key_ends_at(record, 1 + key.size()))) {
      found = true;
      break;
    }
  }
  int result = 0;
  if (!found) {
    result = 1;
  } else {
    try {
      FieldLog log;
      FieldLogScope scope(file, log);
      read_list(file, count);
      if (place != nullptr && !log.empty()) *place = log[0];
    } catch (const InputError& e) {
      result = 2;
      detail = e.what();
    }
  }
  io.units.rewind(unit);
  return result;
}

void report_early(RunIo& io, const std::string& who, const std::string& text,
                  const std::string& detail = {}) {
  // The message is held in a 64-character buffer.
  std::string message = who + text;
  if (message.size() > 64) message.resize(64);
  report_fatal_with_detail(io, 1, 23, 0, message, detail);
}

}  // namespace

void GET_NSED_EARLY(SedimentState& sediment, RunIo& io) {
  std::string detail;
  FieldPlace place;
  switch (read_count_after(io, SEDIMENT_DATA_UNIT, "SY11", TagMatch::contains, sediment.NSED,
                           detail, &place)) {
    case 1: report_early(io, "GET_NSED_EARLY ", "failed to find line :SY11 in sediment data file"); break;
    case 2: report_early(io, "GET_NSED_EARLY ", "failed to read NSED", detail); break;
    default: break;
  }
  // What is set up by size group before the sediment data file is read needs a count
  // that fits the room, and a bad count should stop the run now, not hours in.
  if (sediment.NSED < 1 || sediment.NSED > NSEDEE) {
    report_fatal_with_detail(io, SY_SIZE_GROUP_COUNT_ERROR, SY_PRINT_UNIT, 0,
                             sy_size_group_count_message(sediment.NSED),
                             "NSED = " + std::to_string(sediment.NSED) + " read from " +
                                 describe_place(place));
  }
}

void GET_NCON_EARLY(ContaminantState& contaminant, RunIo& io) {
  std::string detail;
  FieldPlace place;
  switch (read_count_after(io, CONTAMINANT_DATA_UNIT, "CM3", TagMatch::exact, contaminant.NCON,
                           detail, &place)) {
    case 1: report_early(io, "GET_NCON_EARLY ", "failed to find line :CM3 in contaminant data file"); break;
    case 2: report_early(io, "GET_NCON_EARLY ", "failed to read NCON", detail); break;
    default: break;
  }
  // Everything sized by contaminant before the contaminant data file is read takes this
  // count: one outside 1..3 would be taken as none, or overrun the room of three, and is
  // refused now rather than when contaminants become due.
  if (contaminant.NCON < 1 || contaminant.NCON > CM_MAX_CONTAMINANTS) {
    report_fatal_with_detail(
        io, CM_COUNT_ERROR, PRINT_UNIT, 0,
        "GET_NCON_EARLY number of contaminants NCON is not one the run can carry",
        "NCON = " + std::to_string(contaminant.NCON) + " read from " + describe_place(place) +
            "; valid: 1 to " + std::to_string(CM_MAX_CONTAMINANTS));
  }
}

}  // namespace quendal

#include "output/visualisation/hdf5_writer.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <hdf5.h>
#include <hdf5_hl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "output/visualisation/item_collectors.h"
#include "output/visualisation/item_tables.h"
#include "output/visualisation/plan_file_library.h"
#include "services/calendar.h"
#include "services/error_reporting.h"

namespace quendal {

namespace {

const float REAL_FILL = std::numeric_limits<float>::quiet_NaN();
// Room reserved past the file's end for one record beyond twice its values: the
// library's bookkeeping of a record (new index nodes, the time chunk, object header
// changes) takes a few kilobytes.
constexpr off_t RECORD_ROOM_BYTES = 64 * 1024;
// The library's cache of the file's own index and headers. Its default starts at 2 MB
// and grows to 32 MB as the index grows, and it counts each entry by its size on disk:
// a node of a dataset's chunk index takes some 2.5 kB there and about 18 kB in memory,
// so a run's memory grew by about 1 kB per simulated hour of records. Held at 128 kB
// (some fifty nodes, under 1 MB of memory) it keeps what appending a record needs.
constexpr std::size_t METADATA_CACHE_BYTES = 128 * 1024;
constexpr int INT_FILL = std::numeric_limits<int>::min();

std::string library_reason();

// An HDF5 call that failed, with the reason the library gave (taken at once: closing
// the identifiers on the way out would clear the library's record of it). The writer
// gives up on the file: fatal error 1091 before the first step, 1094 after.
struct WriteFailure {
  std::string reason;
};

hid_t checked(hid_t id) {
  if (id < 0) throw WriteFailure{library_reason()};
  return id;
}
void checked_status(herr_t status) {
  if (status < 0) throw WriteFailure{library_reason()};
}

// The reason the library gives for the failure it met last: the system's message when a
// write to the file failed ("No space left on device"), otherwise its innermost
// description.
std::string library_reason() {
  struct Found {
    std::string system, innermost;
  } found;
  H5Ewalk2(
      H5E_DEFAULT, H5E_WALK_DOWNWARD,
      [](unsigned, const H5E_error2_t* error, void* data) -> herr_t {
        Found& f = *static_cast<Found*>(data);
        const std::string text = error && error->desc ? error->desc : "";
        if (!text.empty()) f.innermost = text;
        const std::string key = "error message = '";
        const std::size_t at = text.find(key);
        if (f.system.empty() && at != std::string::npos) {
          const std::size_t end = text.find('\'', at + key.size());
          f.system = text.substr(at + key.size(), end == std::string::npos ? end : end - at - key.size());
        }
        return 0;
      },
      &found);
  if (!found.system.empty()) return found.system;
  if (!found.innermost.empty()) return "the HDF5 library reports: " + found.innermost;
  return "the HDF5 library could not write it";
}

// An HDF5 identifier, closed by its own close function when it goes.
class Id {
 public:
  Id() = default;
  Id(hid_t id, herr_t (*close)(hid_t)) : id_(checked(id)), close_(close) {}
  Id(Id&& other) noexcept
      : id_(std::exchange(other.id_, H5I_INVALID_HID)), close_(other.close_) {}
  Id& operator=(Id&& other) noexcept {
    if (this != &other) {
      reset();
      id_ = std::exchange(other.id_, H5I_INVALID_HID);
      close_ = other.close_;
    }
    return *this;
  }
  Id(const Id&) = delete;
  Id& operator=(const Id&) = delete;
  ~Id() { reset(); }
  void reset() {
    if (id_ >= 0 && close_) close_(id_);
    id_ = H5I_INVALID_HID;
  }
  hid_t get() const { return id_; }
  bool valid() const { return id_ >= 0; }
  // Gives the identifier up without closing it: for a close that must be called once
  // only, whatever it returns (the library cannot close a file twice).
  hid_t release() { return std::exchange(id_, H5I_INVALID_HID); }

 private:
  hid_t id_ = H5I_INVALID_HID;
  herr_t (*close_)(hid_t) = nullptr;
};

// Reads a whole dataset of `file` as doubles; false when it cannot be read.
bool read_all(hid_t file, const std::string& path, std::vector<double>& values) {
  values.clear();
  const hid_t d = H5Dopen2(file, path.c_str(), H5P_DEFAULT);
  if (d < 0) return false;
  const hid_t space = H5Dget_space(d);
  const hssize_t n = space >= 0 ? H5Sget_simple_extent_npoints(space) : -1;
  bool read = n >= 0;
  if (n > 0) {
    values.resize(static_cast<std::size_t>(n));
    read = H5Dread(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0;
  }
  if (space >= 0) H5Sclose(space);
  H5Dclose(d);
  return read;
}

// What a reader finds in the file `name` now, read afresh from the disk: the library
// is asked through another file driver, so that it does not hand back the state it
// holds of the file that failed. `groups` are those of the recorded items.
std::string what_the_file_holds(const std::string& name, const std::vector<std::string>& groups) {
  const std::string damaged =
      "The file is damaged: the HDF5 library could not write its own index of it, and ";
  const hid_t access = H5Pcreate(H5P_FILE_ACCESS);
  H5Pset_fapl_stdio(access);
  const hid_t file = H5Fopen(name.c_str(), H5F_ACC_RDONLY, access);
  H5Pclose(access);
  if (file < 0) return damaged + "it cannot be opened";
  double last = -1.0;
  bool readable = true;
  std::vector<double> values;
  for (const std::string& group : groups) {
    for (const char* data : {"time", "value", "bank_value", "link_value"}) {
      const std::string path = group + "/" + data;
      if (H5Lexists(file, group.c_str(), H5P_DEFAULT) <= 0 ||
          H5Lexists(file, path.c_str(), H5P_DEFAULT) <= 0) {
        readable = readable && data != std::string("time");
        continue;
      }
      if (!read_all(file, path, values)) {
        readable = false;
      } else if (data == std::string("time") && !values.empty()) {
        last = std::max(last, values.back());
      }
    }
  }
  H5Fclose(file);
  if (!readable) return damaged + "some of its records cannot be read";
  if (last < 0.0) return "The file can be read and holds no record";
  char text[96];
  std::snprintf(text, sizeof text, "The file can be read and holds the records up to %.2f hours",
                last);
  return text;
}

// Access to the file with the library's caches held to a fixed size, so that the
// memory of a run does not grow with its length. Every record fills whole chunks of its
// own and is written at once, so a chunk cache would only keep chunks that are never
// read again: there is none. The index of a dataset's chunks grows by an entry per
// record; of its nodes the metadata cache keeps, within its bounds, those in use (the
// path to the last record), and reads back any other should it be needed.
Id bounded_memory() {
  Id access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
  checked_status(H5Pset_cache(access.get(), 0, 0, 0, 0.75));
  H5AC_cache_config_t config;
  config.version = H5AC__CURR_CACHE_CONFIG_VERSION;
  checked_status(H5Pget_mdc_config(access.get(), &config));
  config.set_initial_size = true;
  config.initial_size = METADATA_CACHE_BYTES;
  config.min_size = METADATA_CACHE_BYTES;
  config.max_size = METADATA_CACHE_BYTES;
  config.incr_mode = H5C_incr__off;
  config.flash_incr_mode = H5C_flash_incr__off;
  config.decr_mode = H5C_decr__off;
  checked_status(H5Pset_mdc_config(access.get(), &config));
  return access;
}

// Creation properties of a group or dataset without the times of creation and change
// that HDF5 would store by default: two runs that record the same values write the same
// bytes.
Id untimed(hid_t property_class) {
  Id properties(H5Pcreate(property_class), H5Pclose);
  checked_status(H5Pset_obj_track_times(properties.get(), false));
  return properties;
}

Id make_group(hid_t parent, const std::string& name) {
  Id properties = untimed(H5P_GROUP_CREATE);
  return Id(H5Gcreate2(parent, name.c_str(), H5P_DEFAULT, properties.get(), H5P_DEFAULT),
            H5Gclose);
}

// --- attributes ----------------------------------------------------------------------

// Texts are variable-length UTF-8 strings: h5py and xarray read them as text, not bytes.
Id text_type() {
  Id type(H5Tcopy(H5T_C_S1), H5Tclose);
  checked_status(H5Tset_size(type.get(), H5T_VARIABLE));
  checked_status(H5Tset_cset(type.get(), H5T_CSET_UTF8));
  return type;
}

void put_text(hid_t object, const char* name, const std::string& text) {
  Id type = text_type();
  Id space(H5Screate(H5S_SCALAR), H5Sclose);
  Id attribute(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT),
               H5Aclose);
  const char* data = text.c_str();
  checked_status(H5Awrite(attribute.get(), type.get(), &data));
}

template <class T>
void put_numbers(hid_t object, const char* name, hid_t type, const std::vector<T>& values) {
  const hsize_t n = values.size();
  Id space(n == 1 ? H5Screate(H5S_SCALAR) : H5Screate_simple(1, &n, nullptr), H5Sclose);
  Id attribute(H5Acreate2(object, name, type, space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
  checked_status(H5Awrite(attribute.get(), type, values.data()));
}
void put_int(hid_t object, const char* name, int value) {
  put_numbers(object, name, H5T_NATIVE_INT, std::vector<int>{value});
}

// Every dataset says what it holds and in which units.
void describe(hid_t dataset, const std::string& long_name, const std::string& units) {
  put_text(dataset, "long_name", long_name);
  put_text(dataset, "units", units);
}

// --- datasets --------------------------------------------------------------------------

// A fixed-size integer dataset of the given shape (C order, last index fastest).
Id write_ints(hid_t parent, const char* name, std::vector<hsize_t> shape, hid_t file_type,
              const std::vector<int>& values) {
  Id space(H5Screate_simple(static_cast<int>(shape.size()), shape.data(), nullptr), H5Sclose);
  Id properties = untimed(H5P_DATASET_CREATE);
  Id dataset(H5Dcreate2(parent, name, file_type, space.get(), H5P_DEFAULT, properties.get(),
                        H5P_DEFAULT),
             H5Dclose);
  checked_status(
      H5Dwrite(dataset.get(), H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()));
  return dataset;
}

// A one-dimensional integer axis, made a dimension scale of its own name.
Id write_axis(hid_t parent, const char* name, const std::vector<int>& values,
              const std::string& long_name) {
  Id axis = write_ints(parent, name, {values.size()}, H5T_STD_I32LE, values);
  checked_status(H5DSset_scale(axis.get(), name));
  describe(axis.get(), long_name, "-");
  return axis;
}

void attach(hid_t dataset, const std::vector<hid_t>& axes) {
  for (std::size_t d = 0; d < axes.size(); ++d) {
    checked_status(H5DSattach_scale(dataset, axes[d], static_cast<unsigned>(d)));
  }
}

std::vector<int> numbers_from(int low, int high) {
  std::vector<int> n;
  for (int k = low; k <= high; ++k) n.push_back(k);
  return n;
}

// --- items ----------------------------------------------------------------------------

// One of an item's data: its own values, those of the bank elements beside it or
// those of the channel links beside it. `record` holds one time record in memory.
struct ItemData {
  Id dataset;
  std::vector<hsize_t> shape;  // one record: everything after the time axis
  std::vector<float> reals;
  std::vector<int> ints;
  bool present() const { return dataset.valid(); }
};

struct RegisteredItem {
  std::string units, description, extra_dimensions;
  bool per_cell = false;
};

// A recorded plan item, its datasets and its open record.
struct ItemOutput {
  int number = 0;
  VisPlanItem plan;
  bool integer = false;
  bool per_cell = false;
  int extras = 1;  // entries of the extra axis (1 when the item has none)
  int layers = 1;  // entries of the layer axis (1 when the item is not per cell)
  int places = 0;  // grid cells of the window, or elements of the list
  // The bank elements and links beside the item's elements, and each one's position
  // in that list by element number (-1 for none).
  std::vector<int> banks, links;
  std::vector<int> bank_position, link_position;
  Id group, time;
  ItemData own, bank, link;
  hsize_t records = 0;
  long dropped = 0;
};

// The dataset of one of an item's data, of shape (time, places..., [extra], [layer]):
// the places are (y, x) of a window, or the elements of a list or of the neighbours.
void create_data(ItemOutput& item, ItemData& data, const char* name,
                 std::vector<hsize_t> place_shape, const std::vector<hid_t>& place_axes,
                 hid_t extra_axis, hid_t layer_axis, const std::string& long_name,
                 const std::string& units, const std::string& coordinates) {
  data.shape = std::move(place_shape);
  std::vector<hid_t> axes{item.time.get()};
  axes.insert(axes.end(), place_axes.begin(), place_axes.end());
  if (extra_axis >= 0) {
    data.shape.push_back(static_cast<hsize_t>(item.extras));
    axes.push_back(extra_axis);
  }
  if (layer_axis >= 0) {
    data.shape.push_back(static_cast<hsize_t>(item.layers));
    axes.push_back(layer_axis);
  }
  std::vector<hsize_t> dims{0}, max_dims{H5S_UNLIMITED}, chunk{1};
  hsize_t size = 1;
  for (hsize_t n : data.shape) {
    dims.push_back(n);
    max_dims.push_back(n);
    chunk.push_back(n);
    size *= n;
  }
  Id space(H5Screate_simple(static_cast<int>(dims.size()), dims.data(), max_dims.data()),
           H5Sclose);
  Id properties = untimed(H5P_DATASET_CREATE);
  checked_status(H5Pset_chunk(properties.get(), static_cast<int>(chunk.size()), chunk.data()));
  const hid_t memory_type = item.integer ? H5T_NATIVE_INT : H5T_NATIVE_FLOAT;
  const hid_t file_type = item.integer ? H5T_STD_I32LE : H5T_IEEE_F32LE;
  const void* fill = item.integer ? static_cast<const void*>(&INT_FILL)
                                  : static_cast<const void*>(&REAL_FILL);
  checked_status(H5Pset_fill_value(properties.get(), memory_type, fill));
  data.dataset = Id(H5Dcreate2(item.group.get(), name, file_type, space.get(), H5P_DEFAULT,
                               properties.get(), H5P_DEFAULT),
                    H5Dclose);
  attach(data.dataset.get(), axes);
  describe(data.dataset.get(), long_name, units);
  Id fill_space(H5Screate(H5S_SCALAR), H5Sclose);
  Id fill_attribute(H5Acreate2(data.dataset.get(), "_FillValue", file_type, fill_space.get(),
                               H5P_DEFAULT, H5P_DEFAULT),
                    H5Aclose);
  checked_status(H5Awrite(fill_attribute.get(), memory_type, fill));
  if (!coordinates.empty()) put_text(data.dataset.get(), "coordinates", coordinates);
  if (item.integer) {
    data.ints.assign(size, INT_FILL);
  } else {
    data.reals.assign(size, REAL_FILL);
  }
}

// Appends one record along time: the data then the time, so that a reader never finds a
// time without its values.
void append_record(ItemOutput& item, double time) {
  const hsize_t row = item.records;
  for (ItemData* data : {&item.own, &item.bank, &item.link}) {
    if (!data->present()) continue;
    std::vector<hsize_t> dims{row + 1}, start{row}, count{1};
    for (hsize_t n : data->shape) {
      dims.push_back(n);
      start.push_back(0);
      count.push_back(n);
    }
    checked_status(H5Dset_extent(data->dataset.get(), dims.data()));
    Id file_space(H5Dget_space(data->dataset.get()), H5Sclose);
    checked_status(H5Sselect_hyperslab(file_space.get(), H5S_SELECT_SET, start.data(), nullptr,
                                       count.data(), nullptr));
    Id memory_space(H5Screate_simple(static_cast<int>(count.size()), count.data(), nullptr),
                    H5Sclose);
    if (item.integer) {
      checked_status(H5Dwrite(data->dataset.get(), H5T_NATIVE_INT, memory_space.get(),
                              file_space.get(), H5P_DEFAULT, data->ints.data()));
    } else {
      checked_status(H5Dwrite(data->dataset.get(), H5T_NATIVE_FLOAT, memory_space.get(),
                              file_space.get(), H5P_DEFAULT, data->reals.data()));
    }
  }
  const hsize_t length = row + 1, one = 1;
  checked_status(H5Dset_extent(item.time.get(), &length));
  Id file_space(H5Dget_space(item.time.get()), H5Sclose);
  checked_status(
      H5Sselect_hyperslab(file_space.get(), H5S_SELECT_SET, &row, nullptr, &one, nullptr));
  Id memory_space(H5Screate_simple(1, &one, nullptr), H5Sclose);
  const double coordinate = visualisation_time_coordinate(time);
  checked_status(H5Dwrite(item.time.get(), H5T_NATIVE_DOUBLE, memory_space.get(),
                          file_space.get(), H5P_DEFAULT, &coordinate));
  item.records = length;
}

// --- the writer ---------------------------------------------------------------------------

class Hdf5Writer final : public VisualisationWriter, public VisualisationPlanWriter {
 public:
  Hdf5Writer(RunIo& io, const FrameState& frame) : io_(io), frame_(frame) {
    // The library's own clean-up at the process's exit would flush a file whose writes
    // failed once more, from a state no one checks; the writer closes what it opened
    // itself, so that clean-up is not wanted. (Refused, harmlessly, once the library has
    // started.)
    H5dont_atexit();
    // Failures are reported by the run's own numbers, not printed by the library.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  }
  ~Hdf5Writer() override {
    items_.clear();
    if (file_.valid()) seal();  // not closed through TIDY_UP: keep what is on disk
  }

  void SEND_P(std::string_view key, const VisParameterValue& value, int, int) override {
    const std::string k(key);
    if (const auto* text = std::get_if<std::string_view>(&value)) {
      texts_[k] = std::string(*text);
    } else if (const int* n = std::get_if<int>(&value)) {
      counts_[k] = *n;
    } else if (const auto* a = std::get_if<std::span<const int>>(&value)) {
      arrays_[k].assign(a->begin(), a->end());
    } else if (const auto* b = std::get_if<std::span<const bool>>(&value)) {
      arrays_[k].assign(b->begin(), b->end());
    }
  }
  void REGISTER_STATIC_VISUALISATION_METADATA(std::string_view name, std::string_view,
                                              std::string_view units,
                                              std::string_view description, int, int,
                                              std::string_view extra_dimensions,
                                              bool per_cell) override {
    remember(name, units, description, extra_dimensions, per_cell);
  }
  void REGISTER_DYNAMIC_VISUALISATION_METADATA(int, bool, std::string_view name,
                                               std::string_view, std::string_view units,
                                               std::string_view description,
                                               std::string_view extra_dimensions, bool per_cell,
                                               bool, bool, bool) override {
    remember(name, units, description, extra_dimensions, per_cell);
  }
  void plan_checked(const std::string& plan_text, const std::vector<VisPlanItem>& items) override;
  void new_record_of(int item) override { recording_ = item; }
  void FOR_NEW_TIME(std::string_view, double, int, int, int, int, int, int, int, std::int64_t&,
                    std::int64_t&) override;
  void SAVE_ITEMS_WORTH_R(std::string_view part, std::string_view type, int i, int j, int klow,
                          int khigh, int extra_position, int neighbour_position,
                          std::span<const float> values, std::int64_t) override {
    if (ItemData* data = place(part, type, i, j, klow, khigh, extra_position, neighbour_position,
                               values.size(), false)) {
      // A zero is stored as +0: a zero flow can leave a solver with either sign, and the
      // file should not depend on which.
      std::transform(values.begin(), values.end(), data->reals.begin() + offset_,
                     [](float v) { return v == 0.0f ? 0.0f : v; });
    }
  }
  void SAVE_ITEMS_WORTH_I(std::string_view part, std::string_view type, int i, int j, int klow,
                          int khigh, int extra_position, int neighbour_position,
                          std::span<const int> values, std::int64_t) override {
    if (ItemData* data = place(part, type, i, j, klow, khigh, extra_position, neighbour_position,
                               values.size(), true)) {
      std::copy(values.begin(), values.end(), data->ints.begin() + offset_);
    }
  }
  void SAVE_VISUALISATION_DATA_TO_DISK(int item, double time) override;
  void VISUALISATION_TIDY_UP() override;

 private:
  void remember(std::string_view name, std::string_view units, std::string_view description,
                std::string_view extra_dimensions, bool per_cell) {
    registered_[std::string(trim_trailing_blanks(name))] = {
        std::string(trim_trailing_blanks(units)), std::string(trim_trailing_blanks(description)),
        std::string(trim_trailing_blanks(extra_dimensions)), per_cell};
  }
  int count(const std::string& key) const {
    const auto at = counts_.find(key);
    return at == counts_.end() ? 0 : at->second;
  }
  const std::vector<int>& array(const std::string& key) { return arrays_[key]; }
  // The element of plan cell (i, j) (0 outside the catchment), and the neighbour of an
  // element over a face in "bank_no" or "river_no" (0 or -1 for none).
  int element_at(int i, int j) const {
    if (i < 1 || i > nx_ || j < 1) return 0;
    const std::size_t at = static_cast<std::size_t>((i - 1) + nx_ * (j - 1));
    return at < su_->size() ? (*su_)[at] : 0;
  }
  int neighbour(const std::vector<int>& faces, int element, int face) const {
    if (element < 1 || element > nel_) return 0;
    const std::size_t at = static_cast<std::size_t>((element - 1) + nel_ * (face - 1));
    return at < faces.size() ? faces[at] : 0;
  }

  void create_file(const std::string& plan_text);
  void write_mesh();
  void create_item(ItemOutput& item);
  ItemData* place(std::string_view part, std::string_view type, int i, int j, int klow,
                  int khigh, int extra_position, int neighbour_position, std::size_t length,
                  bool integer);
  ItemData* drop() {
    ++open_->dropped;
    return nullptr;
  }
  // After a write that failed, nothing more of the library's reaches the file: its
  // descriptor is pointed at the null device, where the library's last writes vanish,
  // and the file is closed (once: the library cannot close a file twice). What the last
  // successful flush left on disk stays as it was, so the records saved before the
  // failure can still be read, and the library lets go of all it held of the file.
  void seal();
  // Before a record: room on the disk for all the record and its flush can add past the
  // file's end, reserved (without changing the file's length), so that a disk that is
  // full stops the recording between records, with the file intact, rather than in the
  // middle of the library's bookkeeping. 0, or the system's error number.
  int reserve_room(const ItemOutput& item);
  void release_room();  // gives back what was reserved and not used
  int descriptor();     // the file's descriptor, -1 when there is none
  // The file closed after a failure: the file name, the reason the library gave, and
  // what a reader finds in it now. Fatal error 1094; does not return.
  [[noreturn]] void stop_on_failure(const std::string& reason);

  RunIo& io_;
  const FrameState& frame_;
  std::map<std::string, std::string> texts_;
  std::map<std::string, int> counts_;
  std::map<std::string, std::vector<int>> arrays_;  // logical arrays as 0 and 1
  std::map<std::string, RegisteredItem> registered_;
  // The mesh, once the plan is checked: counts and the maps the vectors are placed by.
  int nx_ = 0, nel_ = 0;
  const std::vector<int>* su_ = nullptr;
  const std::vector<int>* bank_no_ = nullptr;
  const std::vector<int>* river_no_ = nullptr;
  std::string time_units_;
  Id file_;
  std::vector<ItemOutput> items_;  // the recorded items, in plan order
  int recording_ = 0;              // the item the plan layer named for the next record
  ItemOutput* open_ = nullptr;     // the item whose record is open
  std::size_t offset_ = 0;         // where place() found room for a vector
  bool failed_ = false;            // a write failed: recording has stopped
  bool closed_ = false;
};

void Hdf5Writer::plan_checked(const std::string& plan_text,
                              const std::vector<VisPlanItem>& items) {
  const std::string& name = texts_["hdf5fname"];
  if (name.empty()) return;
  nx_ = count("grid_nx");
  nel_ = count("nel");
  su_ = &array("su");
  bank_no_ = &array("bank_no");
  river_no_ = &array("river_no");
  try {
    create_file(plan_text);
    Id all(make_group(file_.get(), "items"));
    for (std::size_t n = 0; n < items.size(); ++n) {
      if (!items[n].accepted) continue;
      ItemOutput item;
      item.number = static_cast<int>(n) + 1;
      item.plan = items[n];
      create_item(item);
      items_.push_back(std::move(item));
    }
    checked_status(H5Fflush(file_.get(), H5F_SCOPE_GLOBAL));
  } catch (const WriteFailure& failure) {
    failed_ = true;
    items_.clear();
    // What could not be created is not left behind half written.
    if (file_.valid()) seal();
    std::remove(name.c_str());
    report_fatal_with_detail(io_, VIS_OUTPUT_CREATE_FATAL, PRINT_UNIT, 0,
                             "Cannot create the visualisation output file " + name,
                             failure.reason);
  }
}

void Hdf5Writer::create_file(const std::string& plan_text) {
  // Default format bounds: the latest format marks a file open for writing, and a file
  // the run could not close would then need repair before it can be read.
  file_ = Id(H5Fcreate(texts_["hdf5fname"].c_str(), H5F_ACC_TRUNC, H5P_DEFAULT,
                       bounded_memory().get()),
             H5Fclose);
  DateRecord start;
  HOURS_TO_DATE(start, frame_.RUN_START_TIME, io_);
  char iso[32], since[64];
  std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d", start.year, start.month,
                start.day, start.hour, start.minute, start.second);
  std::snprintf(since, sizeof since, "hours since %04d-%02d-%02d %02d:%02d:%02d", start.year,
                start.month, start.day, start.hour, start.minute, start.second);
  time_units_ = since;
  const hid_t root = file_.get();
  put_text(root, "start_date", iso);
  put_text(root, "run_directory", texts_["dirqq"]);
  put_text(root, "startup_directory", texts_["rootdir"]);
  put_text(root, "hdf5_file", texts_["hdf5fname"]);
  put_text(root, "plan_file", texts_["planfile"]);
  put_text(root, "check_file", texts_["checkfile"]);
  put_int(root, "interface_version", count("ver"));
  write_mesh();
  Id plan(make_group(root, "plan"));
  Id type = text_type();
  Id space(H5Screate(H5S_SCALAR), H5Sclose);
  Id properties = untimed(H5P_DATASET_CREATE);
  Id text(H5Dcreate2(plan.get(), "text", type.get(), space.get(), H5P_DEFAULT, properties.get(),
                     H5P_DEFAULT),
          H5Dclose);
  const char* data = plan_text.c_str();
  checked_status(H5Dwrite(text.get(), type.get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, &data));
  describe(text.get(), "visualisation plan file as read", "-");
}

void Hdf5Writer::write_mesh() {
  Id mesh(make_group(file_.get(), "mesh"));
  for (const char* key : {"north", "east", "south", "west", "grid_nx", "grid_ny", "top_cell",
                          "nel", "nsed", "ncon"}) {
    put_int(mesh.get(), key, count(key));
  }
  const int nx = count("grid_nx"), ny = count("grid_ny"), nel = count("nel");
  std::vector<int> rows;
  for (int j = 1; j <= ny; ++j) rows.push_back(ny - j + 1);
  Id x = write_axis(mesh.get(), "x", numbers_from(1, nx), "grid column");
  Id y = write_axis(mesh.get(), "y", rows, "grid row, northern row first");
  Id element = write_axis(mesh.get(), "element", numbers_from(1, nel), "element number");
  Id face = write_axis(mesh.get(), "face", numbers_from(1, 4),
                       "face: 1 east, 2 north, 3 west, 4 south");

  std::vector<int> su = array("su");
  su.resize(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny), 0);
  // "su" runs over plan columns fastest, plan row 1 (the northern row) first: (y, x).
  Id at_cell = write_ints(mesh.get(), "element_at_cell",
                          {static_cast<hsize_t>(ny), static_cast<hsize_t>(nx)}, H5T_STD_I32LE, su);
  attach(at_cell.get(), {y.get(), x.get()});
  describe(at_cell.get(), "grid square element in the grid cell (0 outside the catchment)", "-");

  for (const char* key : {"is_square", "is_bank", "is_link"}) {
    std::vector<int> flags = array(key);
    flags.resize(static_cast<std::size_t>(nel), 0);
    Id d = write_ints(mesh.get(), key, {static_cast<hsize_t>(nel)}, H5T_STD_I8LE, flags);
    attach(d.get(), {element.get()});
    const std::string kind = key == std::string("is_square") ? "grid square"
                             : key == std::string("is_bank") ? "bank element"
                                                              : "channel link";
    describe(d.get(), "1 when the element is a " + kind, "-");
  }
  for (const char* key : {"bank_no", "river_no"}) {
    // Sent with the element fastest; stored as (element, face).
    const std::vector<int>& sent = array(key);
    std::vector<int> by_element(static_cast<std::size_t>(nel) * 4, 0);
    for (int e = 1; e <= nel; ++e) {
      for (int f = 1; f <= 4; ++f) {
        const std::size_t from = static_cast<std::size_t>((e - 1) + nel * (f - 1));
        if (from < sent.size()) by_element[static_cast<std::size_t>((e - 1) * 4 + (f - 1))] = sent[from];
      }
    }
    Id d = write_ints(mesh.get(), key, {static_cast<hsize_t>(nel), 4}, H5T_STD_I32LE, by_element);
    attach(d.get(), {element.get(), face.get()});
    describe(d.get(),
             key == std::string("bank_no")
                 ? "bank element over the face of a grid square (-1 none, 0 not a square)"
                 : "channel link over the face of a grid square, beyond its bank element "
                   "(-1 none, 0 not a square)",
             "-");
  }
}

void Hdf5Writer::create_item(ItemOutput& item) {
  const VisPlanItem& p = item.plan;
  const RegisteredItem& r = registered_[p.name];
  const std::string type(trim_trailing_blanks(p.type));
  item.integer = type == "NS" || type == "IS" || type == "ES" || type == "FS";
  item.per_cell = r.per_cell;
  const bool has_extra = r.extra_dimensions != "-" && !r.extra_dimensions.empty();
  item.extras = has_extra ? p.ext : 1;
  item.layers = item.per_cell ? p.khigh - p.klow + 1 : 1;
  const bool own = type == "GS" || type == "NS" || type == "MS" || type == "IS";
  const bool with_banks = type == "GS" || type == "NS" || type == "BS" || type == "ES";
  const bool with_links = type == "GS" || type == "NS" || type == "LS" || type == "FS";

  // The elements the item visits, and the neighbours beside them.
  std::vector<int> elements;
  if (p.isgrid) {
    for (int i = p.ilow; i <= p.ihigh; ++i) {
      for (int j = p.jlow; j <= p.jhigh; ++j) {
        if (p.is_on(i, j) && element_at(i, j) != 0) elements.push_back(element_at(i, j));
      }
    }
    item.places = (p.ihigh - p.ilow + 1) * (p.jhigh - p.jlow + 1);
  } else {
    elements = p.elements;
    item.places = static_cast<int>(p.elements.size());
  }
  const int nel = count("nel");
  auto gather = [&](const std::vector<int>& faces, std::vector<int>& list,
                    std::vector<int>& position) {
    position.assign(static_cast<std::size_t>(nel) + 1, -1);
    for (int e : elements) {
      for (int face = 1; face <= 4; ++face) {
        const int n = neighbour(faces, e, face);
        if (n >= 1 && n <= nel && position[static_cast<std::size_t>(n)] < 0) {
          position[static_cast<std::size_t>(n)] = 0;
          list.push_back(n);
        }
      }
    }
    std::sort(list.begin(), list.end());
    for (std::size_t k = 0; k < list.size(); ++k) {
      position[static_cast<std::size_t>(list[k])] = static_cast<int>(k);
    }
  };
  if (with_banks) gather(*bank_no_, item.banks, item.bank_position);
  if (with_links) gather(*river_no_, item.links, item.link_position);

  char group_name[96];
  std::snprintf(group_name, sizeof group_name, "%03d_%s", item.number, p.name.c_str());
  item.group = make_group(file_.get(), std::string("items/") + group_name);
  const hid_t g = item.group.get();
  put_text(g, "name", p.name);
  put_text(g, "long_name", r.description);
  put_text(g, "units", r.units);
  put_text(g, "type", type);
  put_numbers(g, "times", H5T_NATIVE_DOUBLE, std::vector<double>{p.start, p.interval, p.end});
  put_int(g, "size_group", p.size_group);
  put_int(g, "contaminant", p.contaminant);

  // time: unlimited, one entry per record.
  {
    const hsize_t zero = 0, unlimited = H5S_UNLIMITED, chunk = 256;
    Id space(H5Screate_simple(1, &zero, &unlimited), H5Sclose);
    Id properties = untimed(H5P_DATASET_CREATE);
    checked_status(H5Pset_chunk(properties.get(), 1, &chunk));
    item.time = Id(H5Dcreate2(g, "time", H5T_IEEE_F64LE, space.get(), H5P_DEFAULT,
                              properties.get(), H5P_DEFAULT),
                   H5Dclose);
    checked_status(H5DSset_scale(item.time.get(), "time"));
    describe(item.time.get(), "time", time_units_);
    put_text(item.time.get(), "calendar", "proleptic_gregorian");
  }

  // The places: a window of the grid, or the listed elements.
  Id x, y, listed, element_map;
  std::vector<hid_t> place_axes;
  std::vector<hsize_t> place_shape;
  std::string own_coordinates;
  if (p.isgrid) {
    std::vector<int> rows, at_cells;
    for (int j = p.jlow; j <= p.jhigh; ++j) rows.push_back(count("grid_ny") - j + 1);
    y = write_axis(g, "y", rows, "grid row, northern row first");
    x = write_axis(g, "x", numbers_from(p.ilow, p.ihigh), "grid column");
    for (int j = p.jlow; j <= p.jhigh; ++j) {
      for (int i = p.ilow; i <= p.ihigh; ++i) at_cells.push_back(element_at(i, j));
    }
    element_map = write_ints(g, "element", {rows.size(), static_cast<hsize_t>(p.ihigh - p.ilow + 1)},
                             H5T_STD_I32LE, at_cells);
    attach(element_map.get(), {y.get(), x.get()});
    describe(element_map.get(), "grid square element in the grid cell (0 outside the catchment)",
             "-");
    place_axes = {y.get(), x.get()};
    place_shape = {rows.size(), static_cast<hsize_t>(p.ihigh - p.ilow + 1)};
    own_coordinates = "element";
  } else {
    listed = write_axis(g, "element", p.elements, "element number");
    place_axes = {listed.get()};
    place_shape = {p.elements.size()};
  }

  // The extra axis, when the item has one: its first `ext` entries.
  Id extra;
  if (has_extra) {
    std::vector<int> entries;
    std::string name = "xy", long_name = "coordinate: 1 x (along the columns), 2 y (along the rows)";
    for (int e = 1; e <= item.extras; ++e) entries.push_back(e);
    if (r.extra_dimensions == "faces") {
      name = "face";
      long_name = "face: 1 east, 2 north, 3 west, 4 south";
      for (int e = 1; e <= item.extras; ++e) entries[static_cast<std::size_t>(e - 1)] = VIS_FACE_ORDER[e - 1];
    } else if (r.extra_dimensions == "left_right") {
      name = "side";
      long_name = "bank side: 1 left, 2 right";
    }
    extra = write_axis(g, name.c_str(), entries, long_name);
  }

  // The layers, counted from the top cell, and their cells, when the item is per cell.
  Id layer, cell;
  if (item.per_cell) {
    layer = write_axis(g, "layer", numbers_from(p.klow, p.khigh), "layer, counted from the top cell");
    std::vector<int> cells;
    for (int k = p.klow; k <= p.khigh; ++k) cells.push_back(count("top_cell") - k + 1);
    cell = write_ints(g, "cell", {cells.size()}, H5T_STD_I32LE, cells);
    attach(cell.get(), {layer.get()});
    describe(cell.get(), "cell number, counted from the bottom of the column", "-");
    own_coordinates += own_coordinates.empty() ? "cell" : " cell";
  }
  const hid_t extra_axis = has_extra ? extra.get() : H5I_INVALID_HID;
  const hid_t layer_axis = item.per_cell ? layer.get() : H5I_INVALID_HID;
  const std::string neighbour_coordinates = item.per_cell ? "cell" : "";

  if (own) {
    create_data(item, item.own, "value", place_shape, place_axes,
                extra_axis, layer_axis, r.description, r.units, own_coordinates);
  }
  if (!item.banks.empty()) {
    Id banks = write_axis(g, "bank", item.banks, "bank element number");
    create_data(item, item.bank, "bank_value", {item.banks.size()}, {banks.get()}, extra_axis,
                layer_axis, r.description + ", bank elements beside the item's elements",
                r.units, neighbour_coordinates);
  }
  if (!item.links.empty()) {
    Id links = write_axis(g, "link", item.links, "channel link number");
    create_data(item, item.link, "link_value", {item.links.size()}, {links.get()}, extra_axis,
                layer_axis, r.description + ", channel links beside the item's elements",
                r.units, neighbour_coordinates);
  }
}

void Hdf5Writer::FOR_NEW_TIME(std::string_view, double, int, int, int, int, int, int, int,
                              std::int64_t&, std::int64_t&) {
  open_ = nullptr;
  if (failed_ || closed_) return;
  for (ItemOutput& item : items_) {
    if (item.number != recording_) continue;
    for (ItemData* data : {&item.own, &item.bank, &item.link}) {
      std::fill(data->reals.begin(), data->reals.end(), REAL_FILL);
      std::fill(data->ints.begin(), data->ints.end(), INT_FILL);
    }
    open_ = &item;
  }
}

// Finds the room of one vector in the open record: the data it belongs to, with its
// start in offset_; nullptr (and the vector counted as dropped) when it does not fit.
ItemData* Hdf5Writer::place(std::string_view part, std::string_view type, int i, int j,
                            int klow, int khigh, int extra_position, int neighbour_position,
                            std::size_t length, bool integer) {
  if (!open_) return nullptr;
  ItemOutput& item = *open_;
  const VisPlanItem& p = item.plan;
  if (integer != item.integer || trim_trailing_blanks(type) != trim_trailing_blanks(p.type) ||
      extra_position < 1 || extra_position > item.extras ||
      static_cast<int>(length) != item.layers ||
      (item.per_cell && (klow != p.klow || khigh != p.khigh))) {
    return drop();
  }
  // The element at the vector's place.
  int place = 0, element = 0;
  if (p.isgrid) {
    if (!p.is_on(i, j)) return drop();
    place = (j - p.jlow) * (p.ihigh - p.ilow + 1) + (i - p.ilow);
    element = element_at(i, j);
  } else {
    if (i < 1 || i > item.places || j != 1) return drop();
    place = i - 1;
    element = p.elements[static_cast<std::size_t>(i - 1)];
  }
  if (element == 0) return drop();
  ItemData* data = nullptr;
  int position = -1;
  const std::string_view code = trim_trailing_blanks(type);
  const bool banks = part == "b" || (part == "e" && (code == "BS" || code == "ES"));
  const bool links = part == "r" || (part == "e" && (code == "LS" || code == "FS"));
  if (part == "m") {
    data = &item.own;
    position = place;
  } else if (banks || links) {
    if (neighbour_position < 1 || neighbour_position > 4) return drop();
    const int face = VIS_FACE_ORDER[neighbour_position - 1];
    const int n = neighbour(banks ? *bank_no_ : *river_no_, element, face);
    const std::vector<int>& positions = banks ? item.bank_position : item.link_position;
    if (n < 1 || static_cast<std::size_t>(n) >= positions.size()) return drop();
    data = banks ? &item.bank : &item.link;
    position = positions[static_cast<std::size_t>(n)];
  }
  if (!data || !data->present() || position < 0) return drop();
  offset_ = (static_cast<std::size_t>(position) * static_cast<std::size_t>(item.extras) +
             static_cast<std::size_t>(extra_position - 1)) *
            static_cast<std::size_t>(item.layers);
  return data;
}

void Hdf5Writer::SAVE_VISUALISATION_DATA_TO_DISK(int item, double time) {
  if (!open_ || open_->number != item) return;
  ItemOutput& open = *open_;
  open_ = nullptr;
  if (failed_ || closed_) return;
  if (const int error = reserve_room(open)) stop_on_failure(std::strerror(error));
  try {
    append_record(open, time);
    checked_status(H5Fflush(file_.get(), H5F_SCOPE_GLOBAL));
  } catch (const WriteFailure& failure) {
    stop_on_failure(failure.reason);
  }
}

int Hdf5Writer::reserve_room(const ItemOutput& item) {
  const int fd = descriptor();
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 0;
  std::size_t values = 0;
  for (const ItemData* data : {&item.own, &item.bank, &item.link}) {
    values += data->reals.size() + data->ints.size();
  }
  const off_t room = RECORD_ROOM_BYTES + static_cast<off_t>(2 * 4 * values);
  // A limit on the size of the process's files stops writes as a full disk does, but a
  // reserve that keeps the file's length is not held to it.
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      static_cast<rlim_t>(st.st_size + room) > limit.rlim_cur) {
    return EFBIG;
  }
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, st.st_size, room) == 0) return 0;
  // A file system that cannot reserve leaves the record to its writes.
  return errno == EOPNOTSUPP || errno == ENOSYS ? 0 : errno;
}

int Hdf5Writer::descriptor() {
  void* handle = nullptr;
  if (!file_.valid() || H5Fget_vfd_handle(file_.get(), H5P_DEFAULT, &handle) < 0 || !handle) {
    return -1;
  }
  return *static_cast<int*>(handle);
}

void Hdf5Writer::release_room() {
  const int fd = descriptor();
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0 && ftruncate(fd, st.st_size) != 0) {
    // The reserve stays allocated past the file's end; the file itself is complete.
  }
}

void Hdf5Writer::VISUALISATION_TIDY_UP() {
  if (closed_) return;
  closed_ = true;
  open_ = nullptr;
  for (const ItemOutput& item : items_) {
    if (item.dropped == 0) continue;
    REPORT_ERROR(io_, SEVERITY_WARNING, VIS_OUTPUT_DROPPED_WARNING, PRINT_UNIT, 0, 0,
                 "Visualisation item " + std::to_string(item.number) + " " + item.plan.name +
                     ": " + std::to_string(item.dropped) +
                     " vectors did not fit its records and were dropped");
  }
  if (failed_ || !file_.valid()) return;
  // Every record was flushed as it was saved; what the close still writes is the
  // library's own bookkeeping.
  items_.clear();
  try {
    checked_status(H5Fflush(file_.get(), H5F_SCOPE_GLOBAL));
    release_room();
    checked_status(H5Fclose(file_.release()));
  } catch (const WriteFailure& failure) {
    stop_on_failure(failure.reason);
  }
}

void Hdf5Writer::seal() {
  release_room();
  const int fd = descriptor();
  const int nowhere = fd >= 0 ? ::open("/dev/null", O_RDWR | O_CLOEXEC) : -1;
  if (nowhere >= 0) {
    dup2(nowhere, fd);
    ::close(nowhere);
  }
  H5Fclose(file_.release());
}

void Hdf5Writer::stop_on_failure(const std::string& reason) {
  failed_ = true;
  open_ = nullptr;
  std::vector<std::string> groups;
  for (const ItemOutput& item : items_) {
    char group[96];
    std::snprintf(group, sizeof group, "/items/%03d_%s", item.number, item.plan.name.c_str());
    groups.emplace_back(group);
  }
  items_.clear();
  if (file_.valid()) seal();
  const std::string& name = texts_["hdf5fname"];
  report_write_failure(io_, name, reason, what_the_file_holds(name, groups));
}

}  // namespace

double visualisation_time_coordinate(double hours) {
  constexpr double MILLISECONDS_PER_HOUR = 3.6e6;
  constexpr double NANOSECONDS_PER_MILLISECOND = 1e6;
  constexpr double NANOSECONDS_PER_HOUR = 3.6e12;
  if (!std::isfinite(hours)) return hours;
  const double milliseconds = std::round(hours * MILLISECONDS_PER_HOUR);
  double rounded = milliseconds / MILLISECONDS_PER_HOUR;
  if (rounded * NANOSECONDS_PER_HOUR < milliseconds * NANOSECONDS_PER_MILLISECOND) {
    rounded = std::nextafter(rounded, std::numeric_limits<double>::infinity());
  }
  return rounded;
}

std::unique_ptr<VisualisationWriter> make_hdf5_writer(RunIo& io, const FrameState& frame) {
  return std::make_unique<Hdf5Writer>(io, frame);
}

}  // namespace quendal

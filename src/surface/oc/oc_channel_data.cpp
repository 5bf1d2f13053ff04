#include "surface/oc/oc_channel_data.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/record_reader.h"
#include "services/stops.h"
#include "services/units.h"
#include "surface/oc/oc_data_file.h"

namespace quendal {

namespace {

constexpr std::size_t MESSAGE_LENGTH = 102;

// The default cross-sections: set-up scratch, room for NOCTAB categories of NOCTAB pairs.
struct DefaultSections {
  int declared = 0;  // NDEFCT as read
  int count = 0;     // categories stored (NDEFCT, at most NOCTAB)
  std::array<int, NOCTAB> pairs{};
  std::array<std::array<double, NOCTAB>, NOCTAB> width{};
  std::array<std::array<double, NOCTAB>, NOCTAB> height{};
  std::array<FieldLog, NOCTAB> places{};
};

void skip_title(RecordSource& in) {
  read_list(in);
}

// Counts one error of the channel part and reports it. The line after it says in which
// record of `in` the value stood (the record just read) and, when the message's fields
// could not hold the values given, shows them in full.
void channel_error(RunIo& io, int& errors, int number, int element, const std::string& text,
                   std::initializer_list<std::pair<std::string_view, long long>> values = {},
                   const RecordSource* in = nullptr) {
  ++errors;
  REPORT_ERROR(io, SEVERITY_ERROR, number, PRINT_UNIT, element, 0,
               oc_message(text, MESSAGE_LENGTH));
  std::string detail = values_in_full(text, values);
  if (in != nullptr) {
    detail += (detail.empty() ? "" : "; ") + std::string("read from file ") + in->source_name() +
              ", record " + std::to_string(in->record_number());
  }
  if (!detail.empty()) REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0, detail);
}

// Reads `n` width/height pairs of one record; `places` gets the place of each value
// (width j at 2j, its height after it). The input checks see to the shape of the
// section (heights rising from 0, widths not narrowing); what no channel can have is
// refused here.
void read_pairs(RecordSource& in, int n, std::array<double, NOCTAB>& width,
                std::array<double, NOCTAB>& height, FieldLog& places) {
  std::array<double, 2 * NOCTAB> values{};
  places.clear();
  {
    FieldLogScope scope(in, places);
    read_list(in, std::span<double>(values.data(), static_cast<std::size_t>(2 * n)));
  }
  for (int j = 0; j < n; ++j) {
    width[j] = values[2 * j];
    height[j] = values[2 * j + 1];
    const std::string pair = " of width/height pair " + std::to_string(j + 1);
    require_at_most(Quantity::CHANNEL_WIDTH, "channel width" + pair, width[j],
                    places[static_cast<std::size_t>(2 * j)]);
    require_at_most(Quantity::WATER_DEPTH, "height above the bed" + pair, height[j],
                    places[static_cast<std::size_t>(2 * j + 1)]);
  }
}

// Reads the default cross-sections; false when a category has an impossible number of
// pairs (the rest of the channel part cannot be located then).
bool read_default_sections(RecordSource& in, bool print, RunIo& io, int& errors,
                           DefaultSections& defaults) {
  RecordSink& out = io.units.print();
  int ndefct = 0;
  read_list(in, ndefct);
  defaults.declared = ndefct;
  if (ndefct < 0 || ndefct > NOCTAB) {
    channel_error(io, errors, 1054, 0,
                  format_line("('Number of default channel cross-section categories ','NDEFCT =',"
                              "I4,2X,'lies outside range 0:NOCTAB = 0 :',I4)",
                              ndefct, NOCTAB),
                  {{"NDEFCT", ndefct}}, &in);
  }
  if (ndefct < 1) return true;
  skip_title(in);
  if (print) {
    out.write_record("");
    write_formatted(out, "(5X,A)", "Default Channel Cross-sections:");
    out.write_record("");
    write_formatted(out, "(5X,3A10)", "Category", "Width", "Height");
    out.write_record("");
  }
  // Beyond the room of NOCTAB categories the sections are read (the file stays in step)
  // but not kept; the run ends with the error already counted.
  for (int i = 1; i <= ndefct; ++i) {
    int n = 0;
    read_list(in, n);
    if (n < 2 || n > NOCTAB) {
      channel_error(io, errors, 1055, 0,
                    format_line("('Number of width/elevation pairs NXDEF(',I3,') =',I4,2X,"
                                "'lies outside range 2:NOCTAB = 2:',I4)",
                                i, n, NOCTAB),
                    {{"category", i}, {"NXDEF", n}}, &in);
      return false;
    }
    std::array<double, NOCTAB> width{}, height{};
    FieldLog places;
    read_pairs(in, n, width, height, places);
    if (i <= NOCTAB) {
      defaults.count = i;
      defaults.pairs[i - 1] = n;
      defaults.width[i - 1] = width;
      defaults.height[i - 1] = height;
      defaults.places[i - 1] = places;
    }
    if (print) {
      write_formatted(out, "(5X,I10,2F10.3)", i, width[0], height[0]);
      for (int j = 1; j < n; ++j) write_formatted(out, "(15X,2F10.3)", width[j], height[j]);
    }
  }
  return true;
}

// A channel boundary acts through one face of its link: a face of 1 to 4 with no
// neighbour, or, for a weir, one shared with another link (a weir between two links).
bool boundary_face_usable(const FrameState& frame, int link, int type, int face) {
  if (face < 1 || face > 4) return false;
  const int neighbour = frame.ICMREF(link, face, 2);
  if (neighbour == 0) return true;
  return type == OC_BC_WEIR && neighbour >= 1 && neighbour <= frame.NLF;
}

// The record of the link's boundary entry k, by the entry's type.
void read_boundary_record(RecordSource& in, const FrameState& frame, SurfaceState& surface,
                          RunIo& io, int link, int k, int& errors) {
  const int type = surface.OC_BOUNDARY_TYPE(k);
  int face = 0;
  int category = 1;
  std::array<double, 5> coefficients{};
  switch (type) {
    case OC_BC_WEIR:
    case OC_BC_RIVER_WEIR: read_list(in, face, std::span<double>(coefficients.data(), 4)); break;
    case OC_BC_LINK_HEAD: read_list(in, category); break;
    case OC_BC_LINK_FLUX: read_list(in, face, category); break;
    case OC_BC_LINK_POLYNOMIAL: read_list(in, face, std::span<double>(coefficients)); break;
    default: return;  // entries of other types have no record
  }
  surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_FACE, k) = face;
  surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_CATEGORY, k) = category;
  for (int i = 1; i <= 5; ++i) surface.OC_BOUNDARY_COEFFICIENTS(i, k) = coefficients[i - 1];

  // The OC step keeps one boundary value per head or flux category, and a boundary face
  // that the flow laws never visit would be silently lost.
  if (type == OC_BC_LINK_HEAD && (category < 1 || category > surface.OC_N_HEAD_CATEGORIES)) {
    channel_error(
        io, errors, 1020, link,
        format_line("('Head boundary category',I4,' of the link lies outside range 1 :',I4)",
                    category, surface.OC_N_HEAD_CATEGORIES),
        {{"category", category}}, &in);
  }
  if (type == OC_BC_LINK_FLUX && (category < 1 || category > surface.OC_N_FLUX_CATEGORIES)) {
    channel_error(
        io, errors, 1021, link,
        format_line("('Flux boundary category',I4,' of the link lies outside range 1 :',I4)",
                    category, surface.OC_N_FLUX_CATEGORIES),
        {{"category", category}}, &in);
  }
  if (type != OC_BC_LINK_HEAD && !boundary_face_usable(frame, link, type, face)) {
    const std::string rule = type == OC_BC_WEIR
                                 ? " must be 1 to 4 with no neighbour or a link across it"
                                 : " must be 1 to 4 with no neighbour";
    channel_error(io, errors, 1014, link,
                  format_line("('OC boundary of type',I3,' on face',I3,' of the link: the face',A)",
                              type, face, rule),
                  {{"face", face}}, &in);
  }
}

}  // namespace

void OC_READ_CHANNEL_DATA(RecordSource& in, bool print, FrameState& frame, SurfaceState& surface,
                          RunIo& io, int& errors) {
  RecordSink& out = io.units.print();
  skip_title(in);
  DefaultSections defaults;
  if (!read_default_sections(in, print, io, errors, defaults)) return;

  skip_title(in);
  if (print) {
    out.write_record("");
    write_formatted(out, "(5X,A)", "Link Element Data:");
    out.write_record("");
    write_formatted(out, "(5X,6A11)", "Element", "Elevation", "Init.Depth", "Strickler", "Width",
                    "Height");
    out.write_record("");
  }

  for (int l = 1; l <= frame.NLF; ++l) {
    int element = 0, idefx = 0;
    double bed = 0.0, depth = 0.0, strickler = 0.0;
    FieldLog places;
    try {
      FieldLogScope scope(in, places);
      read_list(in, element, bed, depth, strickler, idefx);
    } catch (const InputError& e) {
      channel_error(io, errors, 1019, l, "Channel input data is missing or has incorrect format");
      // The report names the link; the line after it says where the reader stopped and
      // what it found there (or that the file ended).
      REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0, e.what());
      return;
    }
    if (element != l) {
      channel_error(io, errors, 1013, l,
                    format_line("('Expected element number,',I5,', but found',I5,', ',"
                                "'while reading channel data')",
                                l, element),
                    {{"element found", element}}, &in);
      return;
    }
    const std::string of = " of link " + std::to_string(l);
    require_within(Quantity::ELEVATION, "bed elevation" + of, bed, places[1]);
    require_within(Quantity::WATER_DEPTH, "initial water depth" + of, depth, places[2]);
    require_at_most(Quantity::STRICKLER, "Strickler coefficient" + of, strickler, places[3]);
    frame.ZGRUND(l) = bed;
    surface.SET_HRF(l, bed + depth);
    surface.STRX(l) = strickler;
    surface.STRY(l) = strickler;
    io.places.note("STRX", l, 0, places[3]);
    io.places.note("STRY", l, 0, places[3]);

    const bool own_pairs = idefx >= 2 && idefx <= NOCTAB;
    const bool default_section = idefx <= -1 && -idefx <= defaults.count;
    if (!own_pairs && !default_section) {
      channel_error(io, errors, 1012, l,
                    format_line("('Cross-section number IDEFX =',I4,' lies outside ranges',"
                                "' -NDEFCT:-1 =',I4,' : -1  and  2:NOCTAB = 2 :',I4)",
                                idefx, -defaults.declared, NOCTAB),
                    {{"IDEFX", idefx}, {"NDEFCT", defaults.declared}}, &in);
      // Where the number of pairs that follow is unknown, nothing after can be located.
      if (idefx == 1 || idefx > NOCTAB) return;
    } else {
      std::array<double, NOCTAB> width{}, height{};
      FieldLog pair_places;
      int n = 0;
      if (own_pairs) {
        n = idefx;
        read_pairs(in, n, width, height, pair_places);
      } else {
        const int i = -idefx - 1;
        n = defaults.pairs[i];
        width = defaults.width[i];
        height = defaults.height[i];
        pair_places = defaults.places[i];
      }
      surface.NXSECT(l) = n;
      for (int j = 1; j <= n; ++j) {
        surface.XINW(l, j) = width[j - 1];
        surface.XINH(l, j) = height[j - 1];
        io.places.note("XINW", l, j, pair_places[static_cast<std::size_t>(2 * (j - 1))]);
        io.places.note("XINH", l, j, pair_places[static_cast<std::size_t>(2 * (j - 1) + 1)]);
      }
      surface.CWIDTH(l) = width[n - 1];
      surface.ZBFULL(l) = bed + height[n - 1];
      if (print) {
        if (own_pairs) {
          write_formatted(out, "(5X,I11,5F11.3)", l, bed, depth, strickler, width[0], height[0]);
          for (int j = 1; j < n; ++j) write_formatted(out, "(49X,2F11.3)", width[j], height[j]);
        } else {
          write_formatted(out, "(5X,I11,3F11.3,3X,A,I3)", l, bed, depth, strickler,
                          "default category", -idefx);
        }
      }
    }

    const int k = surface.OC_BOUNDARY_OF_ELEMENT(l);
    if (k >= 1 && k <= NOCTAB) read_boundary_record(in, frame, surface, io, l, k, errors);
  }
}

}  // namespace quendal

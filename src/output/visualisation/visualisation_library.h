// The visualisation library as the system sees it: the fourteen operations through
// which the run hands over its metadata, registers the items it can deliver, asks the
// plan what is due and saves the values. The run's layer sits behind this interface
// (OutputState owns it); a test puts a recording layer in its place. The eight that
// carry the run's data on (all but the plan's answers) are also the interface of the
// writer behind the plan layer.
//
// Operations keep the library's own names and their arguments in the library's order.
// Texts are passed without padding; "first" and "latest" are 64-bit counters; times are
// hours since the run's start, in double precision (a 4-byte time would be 28 s coarse
// after ten years).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace quendal {

// The one value of a run parameter: an integer, an array of logicals, an array of
// integers (first index fastest) or a text.
using VisParameterValue =
    std::variant<int, std::span<const bool>, std::span<const int>, std::string_view>;

class VisualisationWriter {
 public:
  virtual ~VisualisationWriter() = default;

  // A keyed run parameter with the two extents of an array value (0 where absent).
  virtual void SEND_P(std::string_view key, const VisParameterValue& value, int extent1,
                      int extent2) = 0;
  virtual void REGISTER_STATIC_VISUALISATION_METADATA(std::string_view name, std::string_view basis,
                                                      std::string_view units,
                                                      std::string_view description, int nx, int ny,
                                                      std::string_view extra_dimensions,
                                                      bool per_cell) = 0;
  virtual void REGISTER_DYNAMIC_VISUALISATION_METADATA(
      int pass, bool last, std::string_view name, std::string_view basis, std::string_view units,
      std::string_view description, std::string_view extra_dimensions, bool per_cell,
      bool per_size_group, bool per_contaminant, bool implemented) = 0;

  // Opens a new time record of an item; may update `first` and `latest`.
  virtual void FOR_NEW_TIME(std::string_view type, double time, int ilow, int ihigh, int jlow,
                            int jhigh, int klow, int khigh, int ext, std::int64_t& first,
                            std::int64_t& latest) = 0;
  // One vector of values, of khigh - klow + 1 entries, for one element part.
  virtual void SAVE_ITEMS_WORTH_R(std::string_view part, std::string_view type, int i, int j,
                                  int klow, int khigh, int extra_position, int neighbour_position,
                                  std::span<const float> values, std::int64_t latest) = 0;
  virtual void SAVE_ITEMS_WORTH_I(std::string_view part, std::string_view type, int i, int j,
                                  int klow, int khigh, int extra_position, int neighbour_position,
                                  std::span<const int> values, std::int64_t latest) = 0;

  virtual void SAVE_VISUALISATION_DATA_TO_DISK(int item, double time) = 0;
  // Closes the output.
  virtual void VISUALISATION_TIDY_UP() = 0;
};

class VisualisationLibrary : public VisualisationWriter {
 public:
  // The plan's metadata of an item (item 0: the plan itself).
  virtual int GET_METADATA_I(int item, std::string_view key, std::optional<int> index) = 0;
  virtual std::string GET_METADATA_C(int item, std::string_view key) = 0;
  virtual bool GET_METADATA_L(int item, std::string_view key, std::optional<int> plan_column,
                              std::optional<int> plan_row) = 0;
  virtual std::int64_t GET_METADATA_I_FIRST(int item, std::string_view key) = 0;
  virtual void SET_METADATA_I(int item, std::string_view key, std::int64_t value) = 0;
  virtual bool TIME_TO_RECORD(int item, double time) = 0;
};

}  // namespace quendal

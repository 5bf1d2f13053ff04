#include "output/visualisation/visualisation_library.h"

namespace quendal {

namespace {

class EmptyPlanLibrary final : public VisualisationLibrary {
 public:
  void SEND_P(std::string_view, const VisParameterValue&, int, int) override {}
  void REGISTER_STATIC_VISUALISATION_METADATA(std::string_view, std::string_view,
                                              std::string_view, std::string_view, int, int,
                                              std::string_view, bool) override {}
  void REGISTER_DYNAMIC_VISUALISATION_METADATA(int, bool, std::string_view, std::string_view,
                                               std::string_view, std::string_view,
                                               std::string_view, bool, bool, bool, bool) override {}
  // "no_items" of item 0 is 0, so no other answer is ever asked for.
  int GET_METADATA_I(int, std::string_view, std::optional<int>) override { return 0; }
  std::string GET_METADATA_C(int, std::string_view) override { return {}; }
  bool GET_METADATA_L(int, std::string_view, std::optional<int>, std::optional<int>) override {
    return false;
  }
  std::int64_t GET_METADATA_I_FIRST(int, std::string_view) override { return 0; }
  void SET_METADATA_I(int, std::string_view, std::int64_t) override {}
  bool TIME_TO_RECORD(int, double) override { return false; }
  void FOR_NEW_TIME(std::string_view, double, int, int, int, int, int, int, int, std::int64_t&,
                    std::int64_t&) override {}
  void SAVE_ITEMS_WORTH_R(std::string_view, std::string_view, int, int, int, int, int, int,
                          std::span<const float>, std::int64_t) override {}
  void SAVE_ITEMS_WORTH_I(std::string_view, std::string_view, int, int, int, int, int, int,
                          std::span<const int>, std::int64_t) override {}
  void SAVE_VISUALISATION_DATA_TO_DISK(int, double) override {}
  void VISUALISATION_TIDY_UP() override {}
};

}  // namespace

std::unique_ptr<VisualisationLibrary> make_empty_plan_library() {
  return std::make_unique<EmptyPlanLibrary>();
}

bool is_empty_plan_library(const VisualisationLibrary& library) {
  return dynamic_cast<const EmptyPlanLibrary*>(&library) != nullptr;
}

}  // namespace quendal

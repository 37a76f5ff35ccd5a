// Placeholder bodies so the driver links; the reports follow.
#include "content_replacer/reports.h"

namespace tavrell::content_replacer {

NotFound not_found_report(std::string_view, std::string_view) {
  return NotFound{"Search text not found in file.", {}};
}

MultipleMatches multiple_matches_report(std::string_view, std::string_view, std::string_view) {
  return MultipleMatches{"Pattern found at multiple locations", {}};
}

std::vector<std::size_t> find_occurrences(std::string_view, std::string_view) {
  return {};
}

std::uint64_t line_number_at(std::string_view, std::size_t) {
  return 1;
}

std::string comparison_text(std::string_view, std::string_view) {
  return {};
}

}  // namespace tavrell::content_replacer

// Placeholder until the engine lands: every request is reported as not found.
#include "content_replacer/replace.h"

namespace tavrell::content_replacer {

ReplaceOutcome replace_content(std::string_view, std::string_view old_string,
                               std::string_view new_string, bool, std::optional<std::uint32_t>) {
  if (old_string.empty()) return ReplaceError{NotFound{"Search text cannot be empty", {}}};
  if (old_string == new_string) return ReplaceError{NoChange{}};
  return ReplaceError{NotFound{"Search text not found in file.", {}}};
}

}  // namespace tavrell::content_replacer

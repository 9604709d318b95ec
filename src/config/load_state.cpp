#include "config/load_state.h"

#include "common/error.h"
#include "config/list_file.h"

namespace vantrel {

void LoadState::Record(const ListFile& file) {
  failure_ = file.read_failure();
}

void LoadState::CheckSave(const std::string& path) const {
  if (!failure_.empty())
    throw Error("Unable to write to " + path + " (it could not be read at start-up)");
}

}  // namespace vantrel

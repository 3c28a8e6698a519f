#include "runningmark.h"

namespace runningmark {

// No installer here: packages are replaced by the package manager, which leaves
// running programs their files.
ProgramMark::ProgramMark() = default;
ProgramMark::~ProgramMark() = default;

} // namespace runningmark

#include "sessionend.h"

namespace sessionend {

struct Watch::Running {};

Watch::Watch(const wchar_t*, std::function<void()>) {}
Watch::~Watch() = default;
bool ending() {
    return false;
}
void released() {}
WriteHold::WriteHold() = default;
WriteHold::~WriteHold() = default;

} // namespace sessionend

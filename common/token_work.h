// Token library work started from a window: it runs on a thread of its own while the window shows
// the wait cursor, keeps repainting and drops the user's input (morvil::runGuarded).
#pragma once

#include <functional>

namespace morvil {

void runTokenWork(const std::function<void()>& work);

} // namespace morvil

// Work items that do not depend on one another, shared between the calling
// thread and one helper thread on a machine with more than one core.
#pragma once

#include <cstddef>
#include <functional>

namespace qv {

// Calls work(i) once for every i in [0, count), in no particular order,
// and returns when all calls have returned. Each item must touch only its
// own data. An exception thrown by an item is rethrown here (the first one;
// items not yet started are then skipped).
void forEachInParallel(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace qv

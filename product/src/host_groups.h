// The service groups behind HostDispatch. Each answers kResultNotServed for
// a code that is not its own; `a` holds the service's arguments.
#pragma once

#include <cstdint>
#include <string>

namespace korv::host {

intptr_t Memory(intptr_t code, const intptr_t* a);
intptr_t Files(intptr_t code, const intptr_t* a);
intptr_t Threads(intptr_t code, const intptr_t* a);
intptr_t Text(intptr_t code, const intptr_t* a);
intptr_t Time(intptr_t code, const intptr_t* a);
intptr_t Sync(intptr_t code, const intptr_t* a);
intptr_t Events(intptr_t code, const intptr_t* a);

// Helpers shared by the groups.
template <class T>
T* Ptr(intptr_t v) {
    return reinterpret_cast<T*>(v);
}
// A NUL-terminated UTF-16 argument as a UTF-8 path.
std::string PathArg(intptr_t v);

}  // namespace korv::host

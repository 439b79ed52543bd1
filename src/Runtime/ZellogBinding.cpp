// Placeholder binding: drops every call until zellog is bound.
#include "Runtime/ZellogBinding.h"

namespace Oska {
namespace Base {
namespace runtime {

void ZellogInitialize(const char*) {}
void ZellogWrite(int, const char*, const char*) {}

}  // namespace runtime
}  // namespace Base
}  // namespace Oska

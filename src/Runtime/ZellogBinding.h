// The binding to zellog's two entry points: initialise from a configuration
// text, and write one line. If zellog cannot be found at run time, both calls
// do nothing and nothing fails.
#pragma once

namespace Oska {
namespace Base {
namespace runtime {

void ZellogInitialize(const char* config);
void ZellogWrite(int level, const char* module, const char* text);

}  // namespace runtime
}  // namespace Base
}  // namespace Oska

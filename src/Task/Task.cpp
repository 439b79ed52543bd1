// Out-of-line destructors anchor the task classes' virtual tables in the
// library, so every client shares one set.
#include <OskaBase/Task.h>

namespace Oska {
namespace Base {

CTask::~CTask() = default;
CCancelableTask::~CCancelableTask() = default;
CDelayTask::~CDelayTask() = default;

bool CDelayTask::IsStillDelay() { return still_delay_; }

}  // namespace Base
}  // namespace Oska

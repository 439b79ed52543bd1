// The three process-wide work-thread loops. They differ only in name; the
// library attaches no behaviour to them.
#include <OskaBase/MessageLoop.h>

namespace Oska {
namespace Base {

CMessageLoopForNotify::CMessageLoopForNotify() = default;
CMessageLoopForNotify::~CMessageLoopForNotify() = default;

CMessageLoopForCleanup::CMessageLoopForCleanup() = default;
CMessageLoopForCleanup::~CMessageLoopForCleanup() = default;

CMessageLoopForNetSDK::CMessageLoopForNetSDK() = default;
CMessageLoopForNetSDK::~CMessageLoopForNetSDK() = default;

}  // namespace Base
}  // namespace Oska

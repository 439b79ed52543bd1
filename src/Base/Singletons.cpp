// The library's singleton slots, defined together in one translation unit.
//
// They are explicit specializations, not template instantiations, so their
// initialisation is ordered by their place in this file, and destruction runs
// in the reverse order: the log goes first, then the NetSDK, Cleanup and
// Notify loops (each stopped and joined by its destructor if it still runs),
// and the main loop last. Keep this order.
#include <OskaBase/Log.h>
#include <OskaBase/MessageLoop.h>

namespace Oska {
namespace Base {

template <> std::mutex CSingleton<CMessageLoop>::mutex_{};
template <> std::unique_ptr<CMessageLoop> CSingleton<CMessageLoop>::s_instance_{};
template <> std::mutex CSingleton<CMessageLoopForNotify>::mutex_{};
template <> std::unique_ptr<CMessageLoopForNotify> CSingleton<CMessageLoopForNotify>::s_instance_{};
template <> std::mutex CSingleton<CMessageLoopForCleanup>::mutex_{};
template <> std::unique_ptr<CMessageLoopForCleanup> CSingleton<CMessageLoopForCleanup>::s_instance_{};
template <> std::mutex CSingleton<CMessageLoopForNetSDK>::mutex_{};
template <> std::unique_ptr<CMessageLoopForNetSDK> CSingleton<CMessageLoopForNetSDK>::s_instance_{};
template <> std::mutex CSingleton<details::CLog>::mutex_{};
template <> std::unique_ptr<details::CLog> CSingleton<details::CLog>::s_instance_{};

}  // namespace Base
}  // namespace Oska

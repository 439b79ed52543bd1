// Everything the OskaBase library exports.
#pragma once

#include <OskaBase/Export.h>
#include <OskaBase/Noncopyable.h>
#include <OskaBase/Singleton.h>
#include <OskaBase/Task.h>
#include <OskaBase/MessageLoop.h>
#include <OskaBase/ThreadPool.h>
#include <OskaBase/Log.h>
#include <OskaBase/Error.h>
#include <OskaBase/RefCounted.h>
#include <OskaBase/WeakReference.h>
#include <OskaBase/NonThreadSafe.h>
#include <OskaBase/SingleBaseThread.h>
#include <OskaBase/Interrupted.h>
#include <OskaBase/CircularBuffer.h>
#include <OskaBase/Runtime.h>
#include <OskaBase/Encrypt.h>
#include <OskaBase/Identifier.h>
#include <OskaBase/Version.h>
#include <OskaBase/StringUtil.h>
#include <OskaBase/TimeUtil.h>
#include <OskaBase/PipeLine.h>
#include <OskaBase/MessagePipeLine.h>
#include <OskaBase/StreamPipeLine.h>

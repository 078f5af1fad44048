#include "platform/ThreadPriority.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

// The callers speak in nice offsets (negative = more urgent); Windows has seven thread levels.
// Each offset band maps to one level, and a level maps back to the offset at the middle of its
// band, so a round trip keeps the level.
namespace {

struct Level
{
    int fromOffset; // the least urgent offset of the band
    int priority;
    int offset; // what ThreadNice reports for the level
};

constexpr Level Levels[] = {
    {-15, THREAD_PRIORITY_TIME_CRITICAL, -20},
    {-10, THREAD_PRIORITY_HIGHEST, -10},
    {-5, THREAD_PRIORITY_ABOVE_NORMAL, -5},
    {4, THREAD_PRIORITY_NORMAL, 0},
    {9, THREAD_PRIORITY_BELOW_NORMAL, 5},
    {18, THREAD_PRIORITY_LOWEST, 10},
    {19, THREAD_PRIORITY_IDLE, 19},
};

} // namespace

pid_t CurrentThreadId()
{
    return pid_t(GetCurrentThreadId());
}

int ThreadNice(pid_t tid)
{
    const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, DWORD(tid));
    if (!thread)
        return 0;
    const int priority = GetThreadPriority(thread);
    CloseHandle(thread);
    for (const Level& level : Levels) {
        if (level.priority == priority)
            return level.offset;
    }
    return 0;
}

int ApplyThreadNice(pid_t tid, int offset)
{
    offset = std::clamp(offset, -20, 19);
    const Level* chosen = &Levels[std::size(Levels) - 1];
    for (const Level& level : Levels) {
        if (offset <= level.fromOffset) {
            chosen = &level;
            break;
        }
    }
    const HANDLE thread =
        OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, DWORD(tid));
    if (!thread)
        return 0;
    SetThreadPriority(thread, chosen->priority);
    CloseHandle(thread);
    return ThreadNice(tid);
}

// Guarded read-only file mappings: a SIGBUS handler that puts zero pages where a live mapping
// lost its file's pages, so that reading a store file cut short by another program never crashes.
#include "mapping.h"

#include <QtGlobal>
#include <cerrno>
#include <mutex>
#ifndef Q_OS_WIN
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifndef Q_OS_WIN
namespace
{

using TStat = struct stat;

// The live mappings, as the handler reads them: fixed slots of atomics, nothing allocated.
struct TSlot {
    std::atomic<bool> Used{false};
    std::atomic<uintptr_t> Begin{0};
    std::atomic<std::size_t> Length{0};
    std::atomic<bool> Damaged{false};
};
static_assert(std::atomic<uintptr_t>::is_always_lock_free && std::atomic<std::size_t>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);
constexpr int SlotCount = 64;
TSlot Slots[SlotCount];
using TSigAction = struct sigaction;
TSigAction PreviousBusAction{};
uintptr_t PageSize = 4096;

// Whoever handled SIGBUS before: a signal that is not about our mappings goes on to it. With
// the default action the program then ends exactly as it would have without this handler.
void PassOn(int signal, siginfo_t *info, void *context)
{
    const bool fault = info && info->si_code > 0;
    const TSigAction &previous = PreviousBusAction;
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler == SIG_IGN && !fault)
        return;
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    TSigAction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    // A fault happens again when the handler returns; a sent signal is sent again.
    if (!fault)
        raise(signal);
}

void OnBus(int signal, siginfo_t *info, void *context)
{
    const int savedErrno = errno;
    if (info && info->si_code > 0) {
        const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
        for (TSlot &slot : Slots) {
            const uintptr_t begin = slot.Begin.load(std::memory_order_acquire);
            const std::size_t length = slot.Length.load(std::memory_order_acquire);
            if (begin == 0 || address < begin || address - begin >= length)
                continue;
            // The file ends before this page now: zeros from here to the end of the mapping. The
            // file itself is not touched; the private anonymous pages only replace our view of it.
            const uintptr_t page = address & ~(PageSize - 1);
            const uintptr_t end = (begin + length + PageSize - 1) & ~(PageSize - 1);
            void *zeros = mmap(reinterpret_cast<void *>(page), end - page, PROT_READ,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (zeros == MAP_FAILED)
                break;
            slot.Damaged.store(true, std::memory_order_relaxed);
            errno = savedErrno;
            return;
        }
    }
    PassOn(signal, info, context);
    errno = savedErrno;
}

bool InstallBusHandler()
{
    static bool installed = false;
    static std::once_flag once;
    std::call_once(once, [] {
        PageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        TSigAction action{};
        action.sa_sigaction = OnBus;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
        installed = sigaction(SIGBUS, &action, &PreviousBusAction) == 0;
    });
    return installed;
}

int TakeSlot(uintptr_t begin, std::size_t length)
{
    for (int i = 0; i < SlotCount; ++i) {
        bool free = false;
        if (!Slots[i].Used.compare_exchange_strong(free, true))
            continue;
        Slots[i].Damaged.store(false, std::memory_order_relaxed);
        Slots[i].Length.store(length, std::memory_order_release);
        Slots[i].Begin.store(begin, std::memory_order_release);
        return i;
    }
    return -1;
}

void FreeSlot(int i)
{
    Slots[i].Begin.store(0, std::memory_order_release);
    Slots[i].Length.store(0, std::memory_order_release);
    Slots[i].Used.store(false, std::memory_order_release);
}

} // namespace
#endif

bool TDsdMapping::Map(int handle, std::size_t size)
{
    Reset();
#ifdef Q_OS_WIN
    Q_UNUSED(handle);
    Q_UNUSED(size);
    return false;
#else
    if (size == 0 || handle < 0 || !InstallBusHandler())
        return false;
    // Private and read-only: the file is never written through it.
    void *address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, handle, 0);
    if (address == MAP_FAILED)
        return false;
    Slot = TakeSlot(reinterpret_cast<uintptr_t>(address), size);
    if (Slot < 0) {
        munmap(address, size);
        return false;
    }
    Address = static_cast<const char *>(address);
    Length = size;
    DamagedFlag = &Slots[Slot].Damaged;
    // Size and time as mapped; a file that has already changed since its size was taken shows so.
    Handle = fcntl(handle, F_DUPFD_CLOEXEC, 0);
    TStat status{};
    if (Handle >= 0 && fstat(Handle, &status) == 0) {
        ModifiedSeconds = status.st_size == static_cast<off_t>(size) ? status.st_mtim.tv_sec : -1;
        ModifiedNanoseconds = status.st_mtim.tv_nsec;
    } else if (Handle >= 0) {
        close(Handle);
        Handle = -1;
    }
    return true;
#endif
}

void TDsdMapping::Reset()
{
#ifndef Q_OS_WIN
    if (Slot >= 0)
        FreeSlot(Slot);
    if (Address)
        munmap(const_cast<char *>(Address), Length);
    if (Handle >= 0)
        close(Handle);
#endif
    Address = nullptr;
    Length = 0;
    Slot = -1;
    DamagedFlag = nullptr;
    Handle = -1;
    ModifiedSeconds = ModifiedNanoseconds = 0;
}

bool TDsdMapping::FileChanged() const
{
    if (Damaged())
        return true;
#ifndef Q_OS_WIN
    TStat status{};
    if (Handle < 0 || fstat(Handle, &status) != 0)
        return false;
    return static_cast<std::size_t>(status.st_size) != Length || status.st_mtim.tv_sec != ModifiedSeconds ||
           status.st_mtim.tv_nsec != ModifiedNanoseconds;
#else
    return false;
#endif
}

// A read-only mapping of a store file that outlives the file being cut short or rewritten in place
// by another program: pages past the new end read as zeros instead of ending the program.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Unmapped when dropped. One thread uses a mapping; any thread may meet a cut file.
class TDsdMapping
{
public:
    TDsdMapping() = default;
    TDsdMapping(const TDsdMapping &) = delete;
    TDsdMapping &operator=(const TDsdMapping &) = delete;
    ~TDsdMapping() { Reset(); }
    // Maps `size` bytes of an open file; false when the system does not (or when too many
    // mappings are live to guard another one).
    bool Map(int handle, std::size_t size);
    void Reset();
    const char *Data() const { return Address; }
    // True once a page of the mapping was found gone (the file was cut short under it): that page
    // and every one after it now read as zeros. Cheap enough to ask after every line.
    bool Damaged() const
    {
        // The bytes read before asking are read before it.
        std::atomic_signal_fence(std::memory_order_seq_cst);
        return DamagedFlag && DamagedFlag->load(std::memory_order_relaxed);
    }
    // Damaged, or the file no longer has the size and modification time it had when mapped:
    // someone else has written to it, so the mapped bytes may no longer be those that were read.
    bool FileChanged() const;

private:
    const char *Address = nullptr;
    std::size_t Length = 0;
    int Slot = -1;
    const std::atomic<bool> *DamagedFlag = nullptr;
    int Handle = -1; // a duplicate of the mapped file's handle, for its size and time
    int64_t ModifiedSeconds = 0;
    int64_t ModifiedNanoseconds = 0;
};

// One route table of the socket module: numbered slots of (handle, owner),
// searched in slot order. Slots are only ever added at the end; removing a
// route frees its slot for the next route. An index beside the slots answers
// every question in constant time, with the same result as a scan in slot order.
#pragma once

#include <cstdint>
#include <set>
#include <unordered_map>
#include <vector>

class CSocketMaster;

class RouteTable {
public:
    static constexpr std::int32_t FreeHandle = -1;

    // The first slot that holds `handle` keeps its owner when it comes before
    // every free slot; otherwise the first free slot takes the route, and only
    // when there is none a new slot is added.
    void Add(std::int32_t handle, CSocketMaster* owner);
    // Frees the first slot holding `handle`; nothing when none does.
    void Remove(std::int32_t handle);
    // Gives the first slot holding `handle` a new owner; false when none does.
    bool ChangeOwner(std::int32_t handle, CSocketMaster* owner);
    // The owner in the first slot holding `handle`, or nullptr.
    CSocketMaster* Find(std::int32_t handle) const;
    // Removes every slot (count 0).
    void Clear();

    std::int32_t Count() const { return static_cast<std::int32_t>(handles.size()); }
    // Slot contents, slots numbered from 1.
    std::int32_t HandleAt(std::int32_t slot) const;
    CSocketMaster* OwnerAt(std::int32_t slot) const;

private:
    std::int32_t FirstSlotOf(std::int32_t handle) const;
    void Store(std::int32_t slot, std::int32_t handle, CSocketMaster* owner);

    std::vector<std::int32_t> handles; // slot i at index i-1
    std::vector<CSocketMaster*> owners;
    std::unordered_map<std::int32_t, std::set<std::int32_t>> slotsOf; // handle -> its slots
    std::set<std::int32_t> freeSlots;
};

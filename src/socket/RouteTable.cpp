// Route table slots with a handle index beside them.
#include "socket/RouteTable.h"

std::int32_t RouteTable::FirstSlotOf(std::int32_t handle) const {
    const auto found = slotsOf.find(handle);
    return found == slotsOf.end() ? 0 : *found->second.begin();
}

void RouteTable::Store(std::int32_t slot, std::int32_t handle, CSocketMaster* owner) {
    const auto index = static_cast<std::size_t>(slot - 1);
    handles[index] = handle;
    owners[index] = owner;
    slotsOf[handle].insert(slot);
    freeSlots.erase(slot);
}

void RouteTable::Add(std::int32_t handle, CSocketMaster* owner) {
    if (handle == FreeHandle)
        return;
    const std::int32_t used = FirstSlotOf(handle);
    const std::int32_t free = freeSlots.empty() ? 0 : *freeSlots.begin();
    if (used != 0 && (free == 0 || used < free))
        return;
    if (free != 0) {
        Store(free, handle, owner);
        return;
    }
    handles.push_back(FreeHandle);
    owners.push_back(nullptr);
    Store(Count(), handle, owner);
}

void RouteTable::Remove(std::int32_t handle) {
    const auto found = slotsOf.find(handle);
    if (found == slotsOf.end())
        return;
    const std::int32_t slot = *found->second.begin();
    found->second.erase(found->second.begin());
    if (found->second.empty())
        slotsOf.erase(found);
    const auto index = static_cast<std::size_t>(slot - 1);
    handles[index] = FreeHandle;
    owners[index] = nullptr;
    freeSlots.insert(slot);
}

bool RouteTable::ChangeOwner(std::int32_t handle, CSocketMaster* owner) {
    const std::int32_t slot = FirstSlotOf(handle);
    if (slot == 0)
        return false;
    owners[static_cast<std::size_t>(slot - 1)] = owner;
    return true;
}

CSocketMaster* RouteTable::Find(std::int32_t handle) const {
    const std::int32_t slot = FirstSlotOf(handle);
    return slot == 0 ? nullptr : owners[static_cast<std::size_t>(slot - 1)];
}

void RouteTable::Clear() {
    handles.clear();
    owners.clear();
    slotsOf.clear();
    freeSlots.clear();
}

std::int32_t RouteTable::HandleAt(std::int32_t slot) const {
    return slot >= 1 && slot <= Count() ? handles[static_cast<std::size_t>(slot - 1)] : FreeHandle;
}

CSocketMaster* RouteTable::OwnerAt(std::int32_t slot) const {
    return slot >= 1 && slot <= Count() ? owners[static_cast<std::size_t>(slot - 1)] : nullptr;
}

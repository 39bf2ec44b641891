// Component instances: made through their component's factory, held by the calls made on them,
// and closed when disposed and no call is inside.
//
// Records are never freed, only reused: a handle once given out points at a record for the life
// of the process, so every call, renders included, pins its instance with one atomic add on the
// record's state and no lock. A handle that was never given out is told by the pool's address
// ranges; one whose instance was disposed finds its record not live. (A record is reused only
// for a later instance, as freed memory would be reused.)
#include "Components.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreServices/CoreServices.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// An instance. Its state word holds the number of pins (calls in flight, and pin attempts about
// to be undone) in its low bits and its phase in the high bits, so that a pin and a change of
// phase are ordered by the word alone.
struct ComponentInstanceRecord {
    AudioComponent component = nullptr;
    AudioComponentPlugInInterface* plugin = nullptr;
    std::atomic<Handle> storage{nullptr}; // read on render threads, set from others
    std::atomic<uint32_t> state{0};       // free, no pins
};

namespace {

constexpr uint32_t kPinMask = 0x00ffffff;
constexpr uint32_t kPhaseShift = 24;
enum Phase : uint32_t {
    kFree,           // no instance: may be taken by a new one once no pin attempt is left
    kOpening,        // taken, not yet open
    kLive,           // open: calls pin it
    kDisposing,      // out of reach of new calls; its disposer waits for the others to leave
    kCloseByLastPin, // disposed from inside one of its own calls: the last pin to go closes it
    kClosing,        // being closed by the one thread that claimed it
};

constexpr uint32_t Word(Phase phase, uint32_t pins = 0) {
    return (static_cast<uint32_t>(phase) << kPhaseShift) | pins;
}
constexpr Phase PhaseOf(uint32_t word) {
    return static_cast<Phase>(word >> kPhaseShift);
}
constexpr uint32_t PinsOf(uint32_t word) {
    return word & kPinMask;
}

// Moves the record from one phase to another, keeping its pins; false if it was not in from.
bool Move(ComponentInstanceRecord* record, Phase from, Phase to) {
    uint32_t word = record->state.load();
    while (PhaseOf(word) == from)
        if (record->state.compare_exchange_weak(word, Word(to, PinsOf(word)))) return true;
    return false;
}

// Records in chunks that are never freed, reached without a lock: the chunk pointers are
// published before the count that covers them.
constexpr int kChunkRecords = 256;
constexpr int kMaxChunks = 1024;
struct Pool {
    std::mutex growth; // taking and adding records; never held by a call on an instance
    std::atomic<ComponentInstanceRecord*> chunks[kMaxChunks] = {};
    std::atomic<int> chunkCount{0};

    // Waking disposers: a pin dropped on a disposing record is announced under this mutex, so
    // that a disposer testing the pins under it cannot miss it.
    std::mutex unpinned;
    std::condition_variable pinDropped;
};

Pool& ThePool() {
    static auto* pool = new Pool();
    return *pool;
}

// The record at handle, or nullptr when the handle is no record of the pool.
ComponentInstanceRecord* RecordAt(AudioComponentInstance handle) {
    if (!handle) return nullptr;
    Pool& pool = ThePool();
    const auto at = reinterpret_cast<std::uintptr_t>(handle);
    const int count = pool.chunkCount.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        ComponentInstanceRecord* chunk = pool.chunks[i].load(std::memory_order_relaxed);
        const auto first = reinterpret_cast<std::uintptr_t>(chunk);
        const std::uintptr_t offset = at - first;
        if (at >= first && offset < sizeof(ComponentInstanceRecord) * kChunkRecords)
            return offset % sizeof(ComponentInstanceRecord) == 0 ? handle : nullptr;
    }
    return nullptr;
}

// A free record with no pin attempt on it, now in the opening phase; nullptr when the pool is
// full.
ComponentInstanceRecord* TakeRecord() {
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.growth);
    const int count = pool.chunkCount.load();
    for (int i = 0; i < count; ++i) {
        ComponentInstanceRecord* chunk = pool.chunks[i].load();
        for (int k = 0; k < kChunkRecords; ++k) {
            uint32_t word = Word(kFree);
            if (chunk[k].state.compare_exchange_strong(word, Word(kOpening))) return &chunk[k];
        }
    }
    if (count == kMaxChunks) return nullptr;
    static_assert(Word(kFree) == 0, "a new record starts free");
    auto* chunk = new ComponentInstanceRecord[kChunkRecords];
    chunk[0].state = Word(kOpening);
    pool.chunks[count].store(chunk);
    pool.chunkCount.store(count + 1, std::memory_order_release);
    return chunk;
}

// The pins this thread holds: a unit disposed from inside one of its own calls (a listener or
// callback that disposes it) cannot wait for that call to end. Plain arrays: a thread_local
// with a destructor would register it on first use, which waits for the dynamic loader's lock,
// held while any bundle loads.
constexpr int kMaxOwnPins = 64;
struct OwnPinTable {
    const ComponentInstanceRecord* record[kMaxOwnPins];
    int count[kMaxOwnPins];
    int used; // slots ever taken: the search stops there
};
// Every call through the host API, renders included, looks here: one table, reached without a
// call into the loader (the platform library is linked by its programs, so it sits in the
// static TLS block).
thread_local OwnPinTable tlsPins __attribute__((tls_model("initial-exec")));

int* OwnPins(const ComponentInstanceRecord* record, bool add) {
    OwnPinTable& pins = tlsPins;
    int freeSlot = -1;
    for (int i = 0; i < pins.used; ++i) {
        if (pins.record[i] == record && pins.count[i] > 0) return &pins.count[i];
        if (freeSlot < 0 && pins.count[i] == 0) freeSlot = i;
    }
    if (!add) return nullptr;
    if (freeSlot < 0) {
        if (pins.used == kMaxOwnPins) return nullptr; // deeper than any call chain: not tracked
        freeSlot = pins.used++;
    }
    pins.record[freeSlot] = record;
    return &pins.count[freeSlot];
}

// Closes the instance and frees its record for a later one. The caller has claimed the close.
OSStatus CloseRecord(ComponentInstanceRecord* record, Phase claimed) {
    const OSStatus status = record->plugin->Close(record->plugin);
    Move(record, claimed, kFree);
    return status;
}

// Drops one pin (or an attempt at one). A disposer waiting for the pins to go is told; when the
// unit was disposed from inside one of its own calls, the last pin to go closes it.
void Unpin(ComponentInstanceRecord* record) {
    const uint32_t before = record->state.fetch_sub(1);
    const Phase phase = PhaseOf(before);
    if (phase == kDisposing) {
        Pool& pool = ThePool();
        std::lock_guard<std::mutex> lock(pool.unpinned);
        pool.pinDropped.notify_all();
    } else if (phase == kCloseByLastPin && PinsOf(before) == 1) {
        // Claimed by one thread only: an attempt that comes and goes meanwhile makes this fail,
        // and its own drop claims it instead.
        uint32_t idle = Word(kCloseByLastPin);
        if (record->state.compare_exchange_strong(idle, Word(kClosing)))
            CloseRecord(record, kClosing);
    }
}

// The record of a live instance with a pin taken on it, or nullptr.
ComponentInstanceRecord* Pin(AudioComponentInstance instance) {
    ComponentInstanceRecord* record = RecordAt(instance);
    if (!record) return nullptr;
    if (PhaseOf(record->state.fetch_add(1)) != kLive) {
        Unpin(record);
        return nullptr;
    }
    return record;
}

} // namespace

namespace zerub::platform {

PinnedInstance::PinnedInstance(AudioComponentInstance instance) : record(Pin(instance)) {
    if (!record) return;
    if (int* own = OwnPins(record, true)) ++*own;
}

PinnedInstance::~PinnedInstance() {
    if (!record) return;
    if (int* own = OwnPins(record, false)) --*own;
    Unpin(record);
}

AudioComponentPlugInInterface* PinnedInstance::Plugin() const {
    return record ? record->plugin : nullptr;
}

} // namespace zerub::platform

using zerub::platform::PinnedInstance;

OSStatus zerub::platform::OpenInstance(AudioComponent component,
                                       AudioComponentPlugInInterface* plugin,
                                       AudioComponentInstance* outInstance) {
    ComponentInstanceRecord* record = TakeRecord();
    if (!record) return memFullErr;
    record->component = component;
    record->plugin = plugin;
    record->storage = reinterpret_cast<Handle>(plugin);
    // Live before Open, so that Open may already call back with it.
    Move(record, kOpening, kLive);
    const OSStatus status = plugin->Open(plugin, record);
    if (status != noErr) {
        // A plug-in whose Open failed has nothing for Close to tear down; its block is the
        // plug-in's own and is left to it. Calls it made on itself have returned.
        Move(record, kLive, kFree);
        return status;
    }
    *outInstance = record;
    return noErr;
}

// Out of reach of new calls first; then the calls in flight on other threads are waited for,
// and only then is the unit closed. A unit disposed from inside one of its own calls on this
// thread is closed when the last of its calls returns.
OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance) {
    ComponentInstanceRecord* record = RecordAt(inInstance);
    if (!record || !Move(record, kLive, kDisposing)) return badComponentInstance;
    const int* own = OwnPins(record, false);
    const uint32_t ownPins = own ? static_cast<uint32_t>(*own) : 0;
    {
        Pool& pool = ThePool();
        std::unique_lock<std::mutex> lock(pool.unpinned);
        pool.pinDropped.wait(lock, [&] { return PinsOf(record->state.load()) <= ownPins; });
    }
    if (ownPins > 0) {
        Move(record, kDisposing, kCloseByLastPin);
        return noErr;
    }
    return CloseRecord(record, kDisposing);
}

AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance inInstance) {
    const PinnedInstance pinned(inInstance);
    return pinned.Plugin() ? inInstance->component : nullptr;
}

Boolean AudioComponentInstanceCanDo(AudioComponentInstance inInstance, SInt16 inSelectorID) {
    const PinnedInstance pinned(inInstance);
    AudioComponentPlugInInterface* plugin = pinned.Plugin();
    return plugin && plugin->Lookup(inSelectorID) != nullptr;
}

void SetComponentInstanceStorage(ComponentInstance aComponentInstance, Handle theStorage) {
    const PinnedInstance pinned(aComponentInstance);
    if (pinned.Plugin()) aComponentInstance->storage = theStorage;
}

Handle GetComponentInstanceStorage(ComponentInstance aComponentInstance) {
    const PinnedInstance pinned(aComponentInstance);
    return pinned.Plugin() ? aComponentInstance->storage.load() : nullptr;
}

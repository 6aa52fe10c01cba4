// The simulated display's record of calls: a ring of the latest calls, for tests that read back
// what a program did. The counts of calls are kept apart and never grow with the run.
#define DDSIM_IMPLEMENTATION
#include "ddsim.h"
#include "ddsim_internal.h"

#include <cstring>
#include <string>

namespace ddsim {
namespace detail {

namespace {

const char kKeyEnd = '\x1f';
const char kArgEnd = '\x1e';

struct Ring {
    std::vector<Entry> slots;
    size_t next = 0;   // where the next call goes
    size_t size = 0;   // calls held, up to the capacity
};

Ring& R()
{
    static Ring* ring = new Ring();   // outlives static destructors, as the rest of the simulation
    return *ring;
}

}  // namespace

void Entry::AddArg(const char* key, const char* value)
{
    const size_t k = std::strlen(key), v = std::strlen(value);
    if (used + k + v + 2 > kArgBytes) return;
    std::memcpy(args + used, key, k);
    args[used + k] = kKeyEnd;
    std::memcpy(args + used + k + 1, value, v);
    args[used + k + 1 + v] = kArgEnd;
    used = static_cast<unsigned short>(used + k + v + 2);
}

void KeepCall(const Entry& e, size_t capacity)
{
    Ring& r = R();
    if (r.slots.size() != capacity) {
        r.slots.assign(capacity, Entry());   // every slot written now: no page is first touched later
        r.next = r.size = 0;
    }
    if (capacity == 0) return;
    Entry& slot = r.slots[r.next];
    slot = e;
    r.next = (r.next + 1) % capacity;
    if (r.size < capacity) ++r.size;
}

void ForgetCalls()
{
    R().next = 0;
    R().size = 0;
}

Call ToCall(const Entry& e)
{
    Call c;
    c.seq = e.seq;
    c.ms = e.ms;
    c.name = e.name;
    if (e.kind) c.object = std::string(e.kind) + "#" + std::to_string(e.id);
    c.hr = e.hr;
    c.dead = e.dead;
    size_t at = 0;
    while (at < e.used) {
        const char* key = e.args + at;
        const char* keyEnd = static_cast<const char*>(std::memchr(key, kKeyEnd, e.used - at));
        if (!keyEnd) break;
        const char* value = keyEnd + 1;
        const char* valueEnd = static_cast<const char*>(std::memchr(value, kArgEnd, e.args + e.used - value));
        if (!valueEnd) break;
        c.args.emplace_back(std::string(key, keyEnd), std::string(value, valueEnd));
        at = static_cast<size_t>(valueEnd + 1 - e.args);
    }
    return c;
}

std::vector<Call> KeptCalls()
{
    const Ring& r = R();
    std::vector<Call> out;
    out.reserve(r.size);
    const size_t capacity = r.slots.size();
    for (size_t i = 0; i < r.size; ++i) out.push_back(ToCall(r.slots[(r.next + capacity - r.size + i) % capacity]));
    return out;
}

}  // namespace detail
}  // namespace ddsim

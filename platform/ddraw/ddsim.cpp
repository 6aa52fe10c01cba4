// The simulated display hardware: a DirectDraw object with its video-port container, a primary
// surface, overlay flip chains in a small video memory, hardware video ports, and the display
// driver's escape that places the overlay horizontally. Every call is logged; any call can be
// made to fail. Record sizes are checked against the device's own numbers, not this build's.
// Objects are never freed: once their last reference is gone (or their DirectDraw object's) they
// stay callable as dead objects, so a program that uses a released object is caught instead of
// crashing. The latest dead of each kind stay so; a new object takes the place of the oldest
// beyond them, so a device that runs for days holds a fixed number of objects.
#define DDSIM_IMPLEMENTATION
#include "ddraw.h"
#include "dvp.h"
#include "ddsim.h"
#include "ddsim_internal.h"
#include "ddsim_control.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <utility>

namespace ddsim {
namespace detail {

namespace {

constexpr DWORD kVideoMemory = 4u * 1024u * 1024u;   // one full-screen flip chain beside the primary
constexpr int kFieldMs = 40;                        // a decoded frame every 40 ms
constexpr DWORD kNormalConnections = 2;
constexpr DWORD kManyConnections = 6;

struct Fault {
    std::string name;
    int nth;
    int count;
    HRESULT hr;
};

struct Config {
    bool overlay = true;
    int ports = 1;
    bool moreData = false;
    bool outsideControl = false;   // DDSIM_CONTROL: a running device's console may add faults
    std::string logFile;
    int frameMs = 80;
    size_t keep = 4096;   // calls the record holds in memory
};

class SimObject;
class SimSurface;
class SimPort;

struct World {
    CRITICAL_SECTION cs;
    Config cfg;
    std::vector<Fault> faults;
    std::map<std::string, int> counts;
    unsigned seq = 0;
    int deadCalls = 0;
    unsigned nextId = 1;
    unsigned generation = 0;           // advanced by Reset: the objects of before are not looked up
    std::vector<SimObject*> all;       // every object kept, oldest first; never freed
    DWORD videoMemoryUsed = 0;
    // display
    int escapeX = 0;
    SimSurface* shown = nullptr;
    RECT src{}, dst{};
    int prescaleW = 0, prescaleH = 0;
    unsigned frameAccum = 0;
    DWORD runSince = 0;
    bool fieldsFlowing = false;
    // the cooperative window and the hook that watches its placements
    HWND coopWnd = nullptr;
    HHOOK hook = nullptr;
    // picture
    HANDLE pictureThread = nullptr;
    HWND pictureWnd = nullptr;

    World() { InitializeCriticalSection(&cs); }
};

World& W()
{
    static World* world = new World();   // outlives every static destructor and the picture thread
    return *world;
}

std::string Hex(DWORD v)
{
    char buf[16];
    snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(v));
    return buf;
}

std::string Dec(long long v) { return std::to_string(v); }

std::string RectText(const RECT* rc)
{
    if (!rc) return "null";
    char buf[64];
    snprintf(buf, sizeof buf, "(%ld,%ld,%ld,%ld)", rc->left, rc->top, rc->right, rc->bottom);
    return buf;
}

std::string GuidText(const GUID& g)
{
    if (IsEqualGUID(g, IID_IDirectDraw4)) return "IID_IDirectDraw4";
    if (IsEqualGUID(g, IID_IDDVideoPortContainer)) return "IID_IDDVideoPortContainer";
    if (IsEqualGUID(g, IID_IUnknown)) return "IID_IUnknown";
    char buf[48];
    snprintf(buf, sizeof buf, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
             g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

// The connection types the simulated receiver's port speaks; private to this hardware.
GUID ConnectionType(DWORD index)
{
    GUID g = {0x5d5e0a10, 0x6c3e, 0x4e1b, {0x9a, 0x21, 0x44, 0x65, 0x76, 0x73, 0x69, 0x00}};
    g.Data4[7] = static_cast<unsigned char>(index);
    return g;
}

DWORD ConnectionCount() { return W().cfg.moreData ? kManyConnections : kNormalConnections; }

void ReadEnvironment(Config& cfg, std::vector<Fault>& faults);
void TakeOutsideFaults();

void AppendToFile(const Entry& e)
{
    const std::string& path = W().cfg.logFile;
    if (path.empty()) return;
    if (FILE* f = fopen(path.c_str(), "a")) {
        fprintf(f, "%s\n", ToCall(e).Text().c_str());
        fclose(f);
    }
}

void AdvanceFrames(DWORD now)
{
    World& w = W();
    if (w.fieldsFlowing) {
        w.frameAccum += (now - w.runSince) / kFieldMs;
        w.runSince += ((now - w.runSince) / kFieldMs) * kFieldMs;
    }
}

void SetFlowing(bool flowing)
{
    World& w = W();
    DWORD now = GetTickCount();
    AdvanceFrames(now);
    if (flowing && !w.fieldsFlowing) w.runSince = now;
    w.fieldsFlowing = flowing;
}

// ---------------------------------------------------------------------------
// One logged call. Counting happens at construction, so a fault hits the n-th call made.

class SimObject {
public:
    SimObject(const char* kind) : m_id(W().nextId++), m_kind(kind), m_generation(W().generation)
    {
        W().all.push_back(this);
    }
    virtual ~SimObject() = default;
    std::string Name() const { return std::string(m_kind) + "#" + std::to_string(m_id); }
    const char* Kind() const { return m_kind; }
    unsigned Id() const { return m_id; }
    bool Current() const { return m_generation == W().generation; }
    // The DirectDraw object that made this one (0 for a DirectDraw object): when it goes, this goes.
    unsigned MakerId() const { return m_makerId; }
    void SetMaker(unsigned id) { m_makerId = id; }
    bool Alive() const { return m_refs > 0 && !m_killed; }
    // Its place may go to a new object: dead, and nothing alive still points at it.
    virtual bool Reusable() const { return !Alive(); }
    ULONG AddRefImpl();
    ULONG ReleaseImpl();
    // A reference handed out by a call that is itself logged (QueryInterface and the like).
    void Retain() { ++m_refs; }
    void Kill() { m_killed = true; }
    void Orphan()
    {
        OnLastRelease();
        Kill();
    }
    virtual void OnLastRelease() {}
    virtual const void* Identity() const = 0;

protected:
    bool Killed() const { return m_killed; }

private:
    unsigned m_id;
    unsigned m_makerId = 0;
    const char* m_kind;
    unsigned m_generation;
    LONG m_refs = 1;
    bool m_killed = false;
};

// Dead objects kept callable per kind, beyond which the oldest one's place is taken.
const int kDeadKept = 32;

// A new object of kind T, in the place of the oldest reusable one when enough are kept dead.
template <class T, class... Args>
T* Make(Args&&... args)
{
    std::vector<SimObject*>& all = W().all;
    size_t oldest = all.size();
    int dead = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (!dynamic_cast<T*>(all[i]) || !all[i]->Reusable()) continue;
        if (oldest == all.size()) oldest = i;
        ++dead;
    }
    if (dead < kDeadKept) return new T(std::forward<Args>(args)...);
    T* place = dynamic_cast<T*>(all[oldest]);
    all.erase(all.begin() + static_cast<long>(oldest));
    place->~T();
    return new (place) T(std::forward<Args>(args)...);   // lists itself again, as the newest
}

class Rec {
public:
    Rec(const char* name, const SimObject* obj) : m_guard()
    {
        World& w = W();
        m_call.seq = ++w.seq;
        m_call.ms = GetTickCount();
        m_call.name = name;
        TakeOutsideFaults();
        if (obj) {
            m_call.kind = obj->Kind();
            m_call.id = obj->Id();
        }
        m_n = ++w.counts[name];
        if (obj && !obj->Alive()) Dead();
    }
    Rec& Arg(const char* k, const char* v)
    {
        m_call.AddArg(k, v);
        return *this;
    }
    Rec& Arg(const char* k, const std::string& v) { return Arg(k, v.c_str()); }
    Rec& Num(const char* k, long long v) { return Arg(k, Dec(v)); }
    Rec& Flags(const char* k, DWORD v) { return Arg(k, Hex(v)); }
    Rec& Rect(const char* k, const RECT* rc) { return Arg(k, RectText(rc)); }
    Rec& Obj(const char* k, const SimObject* o)
    {
        if (!o) return Arg(k, "null");
        char name[48];
        snprintf(name, sizeof name, "%s#%u", o->Kind(), o->Id());
        return Arg(k, name);
    }
    void Dead()
    {
        if (!m_call.dead) {
            m_call.dead = true;
            ++W().deadCalls;
        }
    }
    bool IsDead() const { return m_call.dead; }
    // The injected result for this call, or S_OK.
    HRESULT Injected() const
    {
        for (const Fault& f : W().faults) {
            if (f.name != m_call.name || m_n < f.nth) continue;
            if (f.count == 0 || m_n < f.nth + f.count) return f.hr;
        }
        return S_OK;
    }
    HRESULT Done(HRESULT hr)
    {
        m_call.hr = hr;
        KeepCall(m_call, W().cfg.keep);
        AppendToFile(m_call);
        return hr;
    }

private:
    Guard m_guard;
    Entry m_call;
    int m_n = 0;
};

ULONG SimObject::AddRefImpl()
{
    Rec rec("AddRef", this);
    if (!Alive()) return static_cast<ULONG>(rec.Done(0));
    return static_cast<ULONG>(rec.Done(++m_refs));
}

ULONG SimObject::ReleaseImpl()
{
    Rec rec("Release", this);
    if (!Alive()) return static_cast<ULONG>(rec.Done(0));
    if (--m_refs == 0) OnLastRelease();
    return static_cast<ULONG>(rec.Done(m_refs));
}

SimObject* FindObject(const void* identity)
{
    for (SimObject* o : W().all)
        if (o->Current() && o->Identity() == identity) return o;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Surfaces

class SimSurface : public IDirectDrawSurface4, public SimObject {
public:
    // A back buffer's memory is counted with its front surface.
    SimSurface(bool primary, DWORD w, DWORD h, DWORD caps, const DDPIXELFORMAT& pf, DWORD backs)
        : SimObject(primary ? "Primary" : (caps & DDSCAPS_BACKBUFFER) ? "BackBuffer" : "Overlay"),
          m_primary(primary), m_w(w), m_h(h), m_caps(caps), m_pf(pf), m_backs(backs)
    {
        m_bytes = (caps & DDSCAPS_BACKBUFFER) ? 0 : w * h * 2 * (1 + backs);
        W().videoMemoryUsed += m_bytes;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        Rec rec("QueryInterface", this);
        rec.Arg("iid", GuidText(riid));
        if (ppv) *ppv = nullptr;
        if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
        return rec.Done(E_NOINTERFACE);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS2 lpCaps, LPDIRECTDRAWSURFACE4* lplp) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC2 lpDesc) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT lpSrcRect, LPDIRECTDRAWSURFACE4 lpDest, LPRECT lpDestRect,
                                            DWORD dwFlags, LPDDOVERLAYFX lpFx) override;

    void OnLastRelease() override;
    const void* Identity() const override { return static_cast<const IDirectDrawSurface4*>(this); }
    bool Reusable() const override;

    bool Primary() const { return m_primary; }
    bool Overlay() const { return (m_caps & DDSCAPS_OVERLAY) != 0; }
    bool BackBuffer() const { return (m_caps & DDSCAPS_BACKBUFFER) != 0; }
    bool ForVideoPort() const { return (m_caps & DDSCAPS_VIDEOPORT) != 0; }
    DWORD Width() const { return m_w; }
    DWORD Height() const { return m_h; }
    bool fed = false;   // a running video port has written into it

private:
    bool m_primary;
    DWORD m_w, m_h, m_caps;
    DDPIXELFORMAT m_pf;
    DWORD m_backs;
    DWORD m_bytes = 0;
    std::vector<SimSurface*> m_chain;   // back buffers handed out by GetAttachedSurface
};

SimSurface* AsSurface(const void* p)
{
    SimObject* o = FindObject(p);
    return dynamic_cast<SimSurface*>(o);
}

// ---------------------------------------------------------------------------
// Video ports

class SimPort : public IDirectDrawVideoPort, public SimObject {
public:
    SimPort(DWORD id, DWORD flags) : SimObject("VideoPort"), m_portId(id), m_flags(flags) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        Rec rec("QueryInterface", this);
        rec.Arg("iid", GuidText(riid));
        if (ppv) *ppv = nullptr;
        if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
        return rec.Done(E_NOINTERFACE);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE GetColorControls(LPDDCOLORCONTROL lpCC) override;
    HRESULT STDMETHODCALLTYPE GetInputFormats(LPDWORD lpNum, LPDDPIXELFORMAT lpFormats, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE SetTargetSurface(LPDIRECTDRAWSURFACE lpSurface, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE StartVideo(LPDDVIDEOPORTINFO lpInfo) override;
    HRESULT STDMETHODCALLTYPE StopVideo() override;

    void OnLastRelease() override { Halt(); }
    const void* Identity() const override { return static_cast<const IDirectDrawVideoPort*>(this); }

    DWORD PortId() const { return m_portId; }
    SimSurface* Target() const { return m_target; }
    void SurfaceGone(SimSurface* s)
    {
        if (m_target != s) return;
        m_target = nullptr;
        if (m_running) SetFlowing(false);
    }
    void Halt()
    {
        if (m_running) SetFlowing(false);
        m_running = false;
    }

private:
    DWORD m_portId;
    DWORD m_flags;
    SimSurface* m_target = nullptr;
    bool m_running = false;
};

// A back buffer lives as long as its front surface, whatever its own count says; a surface
// still shown or fed by a port stays where it is.
bool SimSurface::Reusable() const
{
    if (Alive() || (BackBuffer() && !Killed()) || W().shown == this) return false;
    for (SimObject* o : W().all) {
        auto* p = dynamic_cast<SimPort*>(o);
        if (p && p->Alive() && p->Target() == this) return false;
    }
    return true;
}

void SimSurface::OnLastRelease()
{
    World& w = W();
    if (w.shown == this) {
        w.shown = nullptr;
        NotifyPicture();
    }
    for (SimObject* o : w.all)
        if (auto* p = dynamic_cast<SimPort*>(o)) p->SurfaceGone(this);
    for (SimSurface* b : m_chain) b->Kill();
    w.videoMemoryUsed -= m_bytes;
}

HRESULT SimSurface::GetAttachedSurface(LPDDSCAPS2 lpCaps, LPDIRECTDRAWSURFACE4* lplp)
{
    Rec rec("GetAttachedSurface", this);
    rec.Flags("caps", lpCaps ? lpCaps->dwCaps : 0);
    if (lplp) *lplp = nullptr;
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpCaps || !lplp) return rec.Done(DDERR_INVALIDPARAMS);
    if (m_backs == 0 || !(lpCaps->dwCaps & DDSCAPS_BACKBUFFER)) return rec.Done(DDERR_NOTFOUND);
    if (m_chain.empty()) {
        DDPIXELFORMAT pf = m_pf;
        auto* back = Make<SimSurface>(false, m_w, m_h, (m_caps & ~DDSCAPS_FRONTBUFFER) | DDSCAPS_BACKBUFFER, pf, 0);
        back->SetMaker(MakerId());
        m_chain.push_back(back);
    }
    m_chain.front()->Retain();
    *lplp = m_chain.front();
    rec.Obj("result", m_chain.front());
    return rec.Done(DD_OK);
}

HRESULT SimSurface::GetSurfaceDesc(LPDDSURFACEDESC2 lpDesc)
{
    Rec rec("GetSurfaceDesc", this);
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpDesc || lpDesc->dwSize != ddlayout::kSurfaceDesc2) return rec.Done(DDERR_INVALIDPARAMS);
    std::memset(lpDesc, 0, sizeof *lpDesc);
    lpDesc->dwSize = ddlayout::kSurfaceDesc2;
    lpDesc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_PITCH | DDSD_BACKBUFFERCOUNT;
    lpDesc->dwWidth = m_w;
    lpDesc->dwHeight = m_h;
    lpDesc->lPitch = static_cast<LONG>(m_w * 2);
    lpDesc->dwBackBufferCount = m_backs;
    lpDesc->ddpfPixelFormat = m_pf;
    lpDesc->ddsCaps.dwCaps = m_caps;
    rec.Num("width", m_w).Num("height", m_h);
    return rec.Done(DD_OK);
}

bool Inside(const RECT& rc, LONG w, LONG h)
{
    return rc.left >= 0 && rc.top >= 0 && rc.right <= w && rc.bottom <= h && rc.left < rc.right && rc.top < rc.bottom;
}

HRESULT SimSurface::UpdateOverlay(LPRECT lpSrcRect, LPDIRECTDRAWSURFACE4 lpDest, LPRECT lpDestRect, DWORD dwFlags,
                                  LPDDOVERLAYFX lpFx)
{
    Rec rec("UpdateOverlay", this);
    SimSurface* dest = lpDest ? AsSurface(static_cast<const IDirectDrawSurface4*>(lpDest)) : nullptr;
    rec.Rect("src", lpSrcRect).Arg("dest", dest ? dest->Name() : (lpDest ? "unknown" : "null"));
    rec.Rect("dst", lpDestRect).Flags("flags", dwFlags).Arg("fx", lpFx ? Dec(lpFx->dwSize) : "null");
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (dest && !dest->Alive()) {
        rec.Dead();
        return rec.Done(DDERR_INVALIDOBJECT);
    }
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!Overlay()) return rec.Done(DDERR_NOTAOVERLAYSURFACE);
    if (!dest || !dest->Primary()) return rec.Done(DDERR_INVALIDPARAMS);
    // The driver reads an effects record whenever one is passed, whatever the flags say.
    if ((lpFx && lpFx->dwSize != ddlayout::kOverlayFx) || ((dwFlags & DDOVER_DDFX) && !lpFx))
        return rec.Done(DDERR_INVALIDPARAMS);
    bool show = (dwFlags & DDOVER_SHOW) != 0, hide = (dwFlags & DDOVER_HIDE) != 0;
    if (show && hide) return rec.Done(DDERR_INVALIDPARAMS);
    World& w = W();
    if (hide) {
        if (w.shown == this) {
            w.shown = nullptr;
            NotifyPicture();
        }
        return rec.Done(DD_OK);
    }
    if (!show && w.shown != this) return rec.Done(DDERR_OVERLAYNOTVISIBLE);
    RECT src = lpSrcRect ? *lpSrcRect : RECT{0, 0, static_cast<LONG>(m_w), static_cast<LONG>(m_h)};
    RECT dst = lpDestRect ? *lpDestRect : RECT{0, 0, static_cast<LONG>(dest->m_w), static_cast<LONG>(dest->m_h)};
    if (!Inside(src, static_cast<LONG>(m_w), static_cast<LONG>(m_h))) return rec.Done(DDERR_INVALIDRECT);
    if (!Inside(dst, static_cast<LONG>(dest->m_w), static_cast<LONG>(dest->m_h))) return rec.Done(DDERR_INVALIDRECT);
    // The escape shifts the overlay to the right; the hardware cannot show it past the screen's edge.
    if (w.escapeX + dst.right > static_cast<LONG>(dest->m_w)) return rec.Done(DDERR_INVALIDRECT);
    w.shown = this;
    w.src = src;
    w.dst = dst;
    NotifyPicture();
    return rec.Done(DD_OK);
}

HRESULT SimPort::GetColorControls(LPDDCOLORCONTROL lpCC)
{
    Rec rec("GetColorControls", this);
    rec.Arg("size", lpCC ? Dec(lpCC->dwSize) : "null");
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpCC || lpCC->dwSize != ddlayout::kColorControl) return rec.Done(DDERR_INVALIDPARAMS);
    lpCC->dwFlags = DDCOLOR_BRIGHTNESS | DDCOLOR_CONTRAST | DDCOLOR_HUE | DDCOLOR_SATURATION | DDCOLOR_SHARPNESS |
                    DDCOLOR_GAMMA | DDCOLOR_COLORENABLE;
    lpCC->lBrightness = 750;
    lpCC->lContrast = 10000;
    lpCC->lHue = 0;
    lpCC->lSaturation = 10000;
    lpCC->lSharpness = 5;
    lpCC->lGamma = 1;
    lpCC->lColorEnable = 1;
    return rec.Done(DD_OK);
}

HRESULT SimPort::GetInputFormats(LPDWORD lpNum, LPDDPIXELFORMAT lpFormats, DWORD dwFlags)
{
    Rec rec("GetInputFormats", this);
    rec.Arg("count", lpNum ? Dec(*lpNum) : "null").Flags("flags", dwFlags);
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpNum || !(dwFlags & DDVPFORMAT_VIDEO)) return rec.Done(DDERR_INVALIDPARAMS);
    // The receiver's decoder delivers YUV 4:2:2; the port can also take RGB 5:6:5.
    DDPIXELFORMAT formats[2] = {};
    formats[0] = {ddlayout::kPixelFormat, DDPF_FOURCC, MAKEFOURCC('U', 'Y', 'V', 'Y'), 16, 0, 0, 0, 0};
    formats[1] = {ddlayout::kPixelFormat, DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
    const DWORD available = 2;
    if (!lpFormats) {
        *lpNum = available;
        return rec.Done(DD_OK);
    }
    DWORD n = *lpNum < available ? *lpNum : available;
    for (DWORD i = 0; i < n; ++i) lpFormats[i] = formats[i];
    *lpNum = n;
    rec.Num("returned", n);
    return rec.Done(n < available ? DDERR_MOREDATA : DD_OK);
}

HRESULT SimPort::SetTargetSurface(LPDIRECTDRAWSURFACE lpSurface, DWORD dwFlags)
{
    Rec rec("SetTargetSurface", this);
    // The device's code passes its IDirectDrawSurface4 pointer here, as the hardware allows.
    SimSurface* s = lpSurface ? AsSurface(reinterpret_cast<const IDirectDrawSurface4*>(lpSurface)) : nullptr;
    rec.Arg("surface", s ? s->Name() : (lpSurface ? "unknown" : "null")).Flags("flags", dwFlags);
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (s && !s->Alive()) {
        rec.Dead();
        return rec.Done(DDERR_INVALIDOBJECT);
    }
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!s || !s->Overlay() || !s->ForVideoPort() || !(dwFlags & DDVPTARGET_VIDEO)) return rec.Done(DDERR_INVALIDPARAMS);
    m_target = s;
    if (m_running) s->fed = true;
    return rec.Done(DD_OK);
}

HRESULT SimPort::StartVideo(LPDDVIDEOPORTINFO lpInfo)
{
    Rec rec("StartVideo", this);
    if (lpInfo) {
        rec.Num("size", lpInfo->dwSize).Num("originX", lpInfo->dwOriginX).Num("originY", lpInfo->dwOriginY);
        rec.Flags("flags", lpInfo->dwVPFlags).Rect("crop", &lpInfo->rCrop);
        rec.Num("prescaleWidth", lpInfo->dwPrescaleWidth).Num("prescaleHeight", lpInfo->dwPrescaleHeight);
        rec.Arg("input", lpInfo->lpddpfInputFormat ? Hex(lpInfo->lpddpfInputFormat->dwFourCC) : "null");
        rec.Num("vbiHeight", lpInfo->dwVBIHeight);
    }
    rec.Obj("target", m_target);
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpInfo || lpInfo->dwSize != ddlayout::kVideoPortInfo || !lpInfo->lpddpfInputFormat || !m_target)
        return rec.Done(DDERR_INVALIDPARAMS);
    DWORD pw = lpInfo->rCrop.right - lpInfo->rCrop.left, ph = lpInfo->rCrop.bottom - lpInfo->rCrop.top;
    if (lpInfo->dwVPFlags & DDVP_PRESCALE) {
        pw = lpInfo->dwPrescaleWidth;
        ph = lpInfo->dwPrescaleHeight;
    }
    // The port writes the prescaled field from the surface's top-left corner: it must fit.
    if (pw == 0 || ph == 0 || lpInfo->dwOriginX + pw > m_target->Width() || lpInfo->dwOriginY + ph > m_target->Height())
        return rec.Done(DDERR_INVALIDPARAMS);
    World& w = W();
    w.prescaleW = static_cast<int>(pw);
    w.prescaleH = static_cast<int>(ph);
    m_target->fed = true;
    if (!m_running) SetFlowing(true);
    m_running = true;
    NotifyPicture();
    return rec.Done(DD_OK);
}

HRESULT SimPort::StopVideo()
{
    Rec rec("StopVideo", this);
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    Halt();
    NotifyPicture();
    return rec.Done(DD_OK);
}

// ---------------------------------------------------------------------------
// The DirectDraw object with its video-port container

LRESULT CALLBACK PlacementHook(int code, WPARAM wParam, LPARAM lParam);

class SimDirectDraw : public IDirectDraw, public IDirectDraw4, public IDDVideoPortContainer, public SimObject {
public:
    SimDirectDraw() : SimObject("DirectDraw") {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC2 lpDesc, LPDIRECTDRAWSURFACE4* lplp, IUnknown* pOuter) override;
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS lpDriver, LPDDCAPS lpHel) override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hWnd, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetAvailableVidMem(LPDDSCAPS2 lpCaps, LPDWORD lpTotal, LPDWORD lpFree) override;

    HRESULT STDMETHODCALLTYPE CreateVideoPort(DWORD dwFlags, LPDDVIDEOPORTDESC lpDesc, LPDIRECTDRAWVIDEOPORT* lplp,
                                              IUnknown* pOuter) override;
    HRESULT STDMETHODCALLTYPE EnumVideoPorts(DWORD dwFlags, LPDDVIDEOPORTCAPS lpCaps, LPVOID lpContext,
                                             LPDDENUMVIDEOCALLBACK lpCallback) override;
    HRESULT STDMETHODCALLTYPE GetVideoPortConnectInfo(DWORD dwPortId, LPDWORD lpNum, LPDDVIDEOPORTCONNECT lpInfo) override;

    const void* Identity() const override { return static_cast<const IDirectDraw*>(this); }
    void OnLastRelease() override;

private:
    HRESULT NewOverlay(const DDSURFACEDESC2& d, SimSurface** out);
    bool m_coopSet = false;
};

HRESULT SimDirectDraw::QueryInterface(REFIID riid, void** ppv)
{
    Rec rec("QueryInterface", this);
    rec.Arg("iid", GuidText(riid));
    if (ppv) *ppv = nullptr;
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!ppv) return rec.Done(DDERR_INVALIDPARAMS);
    if (IsEqualGUID(riid, IID_IDirectDraw4))
        *ppv = static_cast<IDirectDraw4*>(this);
    else if (IsEqualGUID(riid, IID_IDDVideoPortContainer))
        *ppv = static_cast<IDDVideoPortContainer*>(this);
    else if (IsEqualGUID(riid, IID_IUnknown))
        *ppv = static_cast<IDirectDraw*>(this);
    else
        return rec.Done(E_NOINTERFACE);
    Retain();
    return rec.Done(DD_OK);
}

bool Is565(const DDPIXELFORMAT& pf)
{
    return pf.dwSize == ddlayout::kPixelFormat && (pf.dwFlags & DDPF_RGB) && pf.dwRGBBitCount == 16 &&
           pf.dwRBitMask == 0xF800 && pf.dwGBitMask == 0x07E0 && pf.dwBBitMask == 0x001F;
}

HRESULT SimDirectDraw::NewOverlay(const DDSURFACEDESC2& d, SimSurface** out)
{
    const DWORD need = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    if ((d.dwFlags & need) != need || d.dwWidth == 0 || d.dwHeight == 0 || d.dwWidth > 1024 || d.dwHeight > 1024)
        return DDERR_INVALIDPARAMS;
    if (!Is565(d.ddpfPixelFormat)) return DDERR_INVALIDPIXELFORMAT;
    DWORD backs = (d.dwFlags & DDSD_BACKBUFFERCOUNT) ? d.dwBackBufferCount : 0;
    bool chain = (d.ddsCaps.dwCaps & (DDSCAPS_FLIP | DDSCAPS_COMPLEX)) == (DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    if ((backs > 0) != chain || backs > 3) return DDERR_INVALIDCAPS;
    if (W().videoMemoryUsed + d.dwWidth * d.dwHeight * 2 * (1 + backs) > kVideoMemory) return DDERR_OUTOFVIDEOMEMORY;
    DWORD caps = d.ddsCaps.dwCaps | (chain ? DDSCAPS_FRONTBUFFER : 0);
    *out = Make<SimSurface>(false, d.dwWidth, d.dwHeight, caps, d.ddpfPixelFormat, backs);
    return DD_OK;
}

HRESULT SimDirectDraw::CreateSurface(LPDDSURFACEDESC2 lpDesc, LPDIRECTDRAWSURFACE4* lplp, IUnknown* pOuter)
{
    Rec rec("CreateSurface", this);
    if (lpDesc) {
        rec.Num("size", lpDesc->dwSize).Flags("flags", lpDesc->dwFlags).Flags("caps", lpDesc->ddsCaps.dwCaps);
        rec.Num("width", lpDesc->dwWidth).Num("height", lpDesc->dwHeight).Num("backBuffers", lpDesc->dwBackBufferCount);
        const DDPIXELFORMAT& pf = lpDesc->ddpfPixelFormat;
        char buf[96];
        snprintf(buf, sizeof buf, "%lu/0x%lX/%lu/%04lX:%04lX:%04lX", static_cast<unsigned long>(pf.dwSize),
                 static_cast<unsigned long>(pf.dwFlags), static_cast<unsigned long>(pf.dwRGBBitCount),
                 static_cast<unsigned long>(pf.dwRBitMask), static_cast<unsigned long>(pf.dwGBitMask),
                 static_cast<unsigned long>(pf.dwBBitMask));
        rec.Arg("format", buf);
    }
    if (lplp) *lplp = nullptr;
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpDesc || !lplp || pOuter || lpDesc->dwSize != ddlayout::kSurfaceDesc2 || !(lpDesc->dwFlags & DDSD_CAPS))
        return rec.Done(DDERR_INVALIDPARAMS);
    if (!m_coopSet) return rec.Done(DDERR_NOCOOPERATIVELEVELSET);
    SimSurface* s = nullptr;
    DWORD caps = lpDesc->ddsCaps.dwCaps;
    if (caps & DDSCAPS_PRIMARYSURFACE) {
        // There is one screen: its surface exists once.
        for (SimObject* o : W().all) {
            auto* other = dynamic_cast<SimSurface*>(o);
            if (other && other->Alive() && other->Primary()) return rec.Done(DDERR_PRIMARYSURFACEALREADYEXISTS);
        }
        DDPIXELFORMAT pf = {ddlayout::kPixelFormat, DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
        DWORD w = static_cast<DWORD>(GetSystemMetrics(SM_CXSCREEN)), h = static_cast<DWORD>(GetSystemMetrics(SM_CYSCREEN));
        if (W().videoMemoryUsed + w * h * 2 > kVideoMemory) return rec.Done(DDERR_OUTOFVIDEOMEMORY);
        s = Make<SimSurface>(true, w, h, caps | DDSCAPS_VISIBLE | DDSCAPS_VIDEOMEMORY, pf, 0);
    } else if (caps & DDSCAPS_OVERLAY) {
        if (!W().cfg.overlay) return rec.Done(DDERR_INVALIDCAPS);
        if (HRESULT hr = NewOverlay(*lpDesc, &s)) return rec.Done(hr);
    } else {
        return rec.Done(DDERR_INVALIDCAPS);
    }
    s->SetMaker(Id());
    *lplp = s;
    rec.Obj("result", s);
    return rec.Done(DD_OK);
}

// Surfaces and ports die with the DirectDraw object that made them: references a program still
// holds answer DDERR_INVALIDOBJECT from then on, as on the device.
void SimDirectDraw::OnLastRelease()
{
    for (SimObject* o : W().all)
        if (o->MakerId() == Id() && dynamic_cast<SimPort*>(o) && o->Alive()) o->Orphan();
    for (SimObject* o : W().all)
        if (o->MakerId() == Id() && o->Alive()) o->Orphan();
}

HRESULT SimDirectDraw::GetCaps(LPDDCAPS lpDriver, LPDDCAPS lpHel)
{
    Rec rec("GetCaps", this);
    rec.Arg("driver", lpDriver ? Dec(lpDriver->dwSize) : "null").Arg("hel", lpHel ? Dec(lpHel->dwSize) : "null");
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if ((!lpDriver && !lpHel) || (lpDriver && lpDriver->dwSize != ddlayout::kCaps) ||
        (lpHel && lpHel->dwSize != ddlayout::kCaps))
        return rec.Done(DDERR_INVALIDPARAMS);
    World& w = W();
    if (lpDriver) {
        std::memset(lpDriver, 0, sizeof *lpDriver);
        lpDriver->dwSize = ddlayout::kCaps;
        lpDriver->dwCaps = w.cfg.overlay ? (DDCAPS_OVERLAY | DDCAPS_OVERLAYSTRETCH | DDCAPS_OVERLAYCANTCLIP) : 0;
        lpDriver->dwVidMemTotal = kVideoMemory;
        lpDriver->dwVidMemFree = kVideoMemory - w.videoMemoryUsed;
        lpDriver->dwMaxVisibleOverlays = w.cfg.overlay ? 1 : 0;
        lpDriver->dwCurrVisibleOverlays = w.shown ? 1 : 0;
        lpDriver->dwMaxVideoPorts = static_cast<DWORD>(w.cfg.ports);
        int ports = 0;
        for (SimObject* o : w.all)
            if (dynamic_cast<SimPort*>(o) && o->Alive()) ++ports;
        lpDriver->dwCurrVideoPorts = static_cast<DWORD>(ports);
        rec.Flags("caps", lpDriver->dwCaps);
    }
    if (lpHel) {
        std::memset(lpHel, 0, sizeof *lpHel);
        lpHel->dwSize = ddlayout::kCaps;
    }
    return rec.Done(DD_OK);
}

HRESULT SimDirectDraw::SetCooperativeLevel(HWND hWnd, DWORD dwFlags)
{
    Rec rec("SetCooperativeLevel", this);
    char buf[32];
    snprintf(buf, sizeof buf, "%p", static_cast<void*>(hWnd));
    rec.Arg("hwnd", buf).Flags("flags", dwFlags);
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    bool normal = (dwFlags & DDSCL_NORMAL) != 0;
    bool exclusive = (dwFlags & (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE)) == (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE);
    if (normal == exclusive || (hWnd && !IsWindow(hWnd)) || (exclusive && !hWnd)) return rec.Done(DDERR_INVALIDPARAMS);
    m_coopSet = true;
    World& w = W();
    w.coopWnd = hWnd;
    if (hWnd && !w.hook && GetWindowThreadProcessId(hWnd, nullptr) == GetCurrentThreadId())
        w.hook = SetWindowsHookExW(WH_CALLWNDPROCRET, PlacementHook, nullptr, GetCurrentThreadId());
    return rec.Done(DD_OK);
}

HRESULT SimDirectDraw::GetAvailableVidMem(LPDDSCAPS2 lpCaps, LPDWORD lpTotal, LPDWORD lpFree)
{
    Rec rec("GetAvailableVidMem", this);
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpCaps) return rec.Done(DDERR_INVALIDPARAMS);
    if (lpTotal) *lpTotal = kVideoMemory;
    if (lpFree) *lpFree = kVideoMemory - W().videoMemoryUsed;
    rec.Num("free", kVideoMemory - W().videoMemoryUsed);
    return rec.Done(DD_OK);
}

HRESULT SimDirectDraw::EnumVideoPorts(DWORD dwFlags, LPDDVIDEOPORTCAPS lpCaps, LPVOID lpContext,
                                      LPDDENUMVIDEOCALLBACK lpCallback)
{
    Rec rec("EnumVideoPorts", this);
    rec.Flags("flags", dwFlags).Arg("filter", lpCaps ? "caps" : "null");
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpCallback) return rec.Done(DDERR_INVALIDPARAMS);
    int called = 0;
    for (int i = 0; i < W().cfg.ports; ++i) {
        if (lpCaps && (lpCaps->dwFlags & DDVPD_ID) && lpCaps->dwVideoPortID != static_cast<DWORD>(i)) continue;
        DDVIDEOPORTCAPS caps = {};
        caps.dwSize = ddlayout::kVideoPortCaps;
        caps.dwFlags = DDVPD_WIDTH | DDVPD_HEIGHT | DDVPD_ID | DDVPD_CAPS | DDVPD_FX;
        caps.dwMaxWidth = 1024;
        caps.dwMaxVBIWidth = 720;
        caps.dwMaxHeight = 576;
        caps.dwVideoPortID = static_cast<DWORD>(i);
        caps.dwFX = DDVP_CROP | DDVP_PRESCALE;
        caps.dwNumAutoFlipSurfaces = 3;
        caps.dwAlignVideoPortPrescaleWidth = 1;
        caps.dwAlignVideoPortCropWidth = 1;
        caps.dwNumPreferredAutoflip = 3;
        ++called;
        if (lpCallback(&caps, lpContext) == DDENUMRET_CANCEL) break;
    }
    rec.Num("ports", W().cfg.ports).Num("callbacks", called);
    return rec.Done(DD_OK);
}

HRESULT SimDirectDraw::GetVideoPortConnectInfo(DWORD dwPortId, LPDWORD lpNum, LPDDVIDEOPORTCONNECT lpInfo)
{
    Rec rec("GetVideoPortConnectInfo", this);
    rec.Num("port", dwPortId).Arg("count", lpNum ? Dec(*lpNum) : "null").Arg("info", lpInfo ? "array" : "null");
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpNum || dwPortId >= static_cast<DWORD>(W().cfg.ports)) return rec.Done(DDERR_INVALIDPARAMS);
    const DWORD available = ConnectionCount();
    if (!lpInfo) {
        *lpNum = available;
        return rec.Done(DD_OK);
    }
    DWORD n = *lpNum < available ? *lpNum : available;
    for (DWORD i = 0; i < n; ++i) {
        lpInfo[i] = {};
        lpInfo[i].dwSize = ddlayout::kVideoPortConnect;
        lpInfo[i].dwPortWidth = 8;
        lpInfo[i].guidTypeID = ConnectionType(i);
        lpInfo[i].dwFlags = DDVPCONNECT_INTERLACED;
    }
    *lpNum = n;
    rec.Num("returned", n);
    return rec.Done(n < available ? DDERR_MOREDATA : DD_OK);
}

HRESULT SimDirectDraw::CreateVideoPort(DWORD dwFlags, LPDDVIDEOPORTDESC lpDesc, LPDIRECTDRAWVIDEOPORT* lplp,
                                       IUnknown* pOuter)
{
    Rec rec("CreateVideoPort", this);
    rec.Flags("flags", dwFlags);
    if (lpDesc) {
        rec.Num("size", lpDesc->dwSize).Num("fieldWidth", lpDesc->dwFieldWidth).Num("vbiWidth", lpDesc->dwVBIWidth);
        rec.Num("fieldHeight", lpDesc->dwFieldHeight).Num("usPerField", lpDesc->dwMicrosecondsPerField);
        rec.Num("maxPixels", lpDesc->dwMaxPixelsPerSecond).Num("port", lpDesc->dwVideoPortID);
        rec.Num("connectSize", lpDesc->VideoPortType.dwSize).Arg("connect", GuidText(lpDesc->VideoPortType.guidTypeID));
    }
    if (lplp) *lplp = nullptr;
    if (rec.IsDead()) return rec.Done(DDERR_INVALIDOBJECT);
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lpDesc || !lplp || pOuter || lpDesc->dwSize != ddlayout::kVideoPortDesc ||
        !(dwFlags & (DDVPCREATE_VIDEOONLY | DDVPCREATE_VBIONLY)))
        return rec.Done(DDERR_INVALIDPARAMS);
    World& w = W();
    if (lpDesc->dwVideoPortID >= static_cast<DWORD>(w.cfg.ports) ||
        lpDesc->VideoPortType.dwSize != ddlayout::kVideoPortConnect)
        return rec.Done(DDERR_INVALIDPARAMS);
    bool known = false;
    for (DWORD i = 0; i < ConnectionCount(); ++i)
        if (IsEqualGUID(lpDesc->VideoPortType.guidTypeID, ConnectionType(i))) known = true;
    if (!known) return rec.Done(DDERR_INVALIDPARAMS);
    // A hardware port carries one stream: it cannot be opened twice.
    for (SimObject* o : w.all) {
        auto* p = dynamic_cast<SimPort*>(o);
        if (p && p->Alive() && p->PortId() == lpDesc->dwVideoPortID) return rec.Done(DDERR_CURRENTLYNOTAVAIL);
    }
    auto* port = Make<SimPort>(lpDesc->dwVideoPortID, dwFlags);
    port->SetMaker(Id());
    *lplp = port;
    rec.Obj("result", port);
    return rec.Done(DD_OK);
}

LRESULT CALLBACK PlacementHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* cwp = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        HWND coop = W().coopWnd;
        if (cwp->message == WM_WINDOWPOSCHANGED && coop && (cwp->hwnd == coop || IsChild(coop, cwp->hwnd))) {
            const auto* wp = reinterpret_cast<const WINDOWPOS*>(cwp->lParam);
            Rec rec("WindowPos", nullptr);
            rec.Arg("window", cwp->hwnd == coop ? "main" : "control " + Dec(GetDlgCtrlID(cwp->hwnd)));
            rec.Num("x", wp->x).Num("y", wp->y).Num("cx", wp->cx).Num("cy", wp->cy);
            rec.Flags("flags", wp->flags & (SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW | SWP_HIDEWINDOW));
            rec.Num("visible", IsWindowVisible(cwp->hwnd) ? 1 : 0);
            rec.Num("topmost", (GetWindowLongW(cwp->hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
            rec.Done(S_OK);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ---------------------------------------------------------------------------
// Environment

void ReadEnvironment(Config& cfg, std::vector<Fault>& faults)
{
    cfg = Config();
    faults.clear();
    if (const char* v = getenv("DDSIM_NOOVERLAY")) cfg.overlay = !(*v && *v != '0');
    if (const char* v = getenv("DDSIM_PORTS")) cfg.ports = atoi(v) < 0 ? 0 : atoi(v);
    if (const char* v = getenv("DDSIM_MOREDATA")) cfg.moreData = *v && *v != '0';
    if (const char* v = getenv("DDSIM_LOG")) cfg.logFile = v;
    if (const char* v = getenv("DDSIM_CONTROL")) cfg.outsideControl = *v && *v != '0';
    if (const char* v = getenv("DDSIM_FRAMEMS")) cfg.frameMs = atoi(v) >= 10 ? atoi(v) : cfg.frameMs;
    if (const char* v = getenv("DDSIM_KEEP")) cfg.keep = static_cast<size_t>(atoi(v) < 0 ? 0 : atoi(v) > 100000 ? 100000 : atoi(v));
}

// The console's block is looked for at every call until it exists: the console may start after
// the viewer. A request counts from the call after it is taken.
void TakeOutsideFaults()
{
    control::Block* block = OutsideBlock();
    if (!block) return;
    LONG written = InterlockedCompareExchange(const_cast<LONG*>(&block->written), 0, 0);
    LONG taken = block->taken;
    if (written - taken > control::kSlots) taken = written - control::kSlots;
    for (; taken < written; ++taken) {
        const control::Request& r = block->slots[taken % control::kSlots];
        char name[sizeof r.name + 1] = {};
        memcpy(name, r.name, sizeof r.name);
        if (control::FindFailable(name) && r.count > 0) Fail(name, W().counts[name] + 1, r.hr, r.count);
    }
    block->taken = taken;
}

void EnsureConfigured()
{
    static bool done = false;
    if (done) return;
    done = true;
    ReadEnvironment(W().cfg, W().faults);
    if (const char* v = getenv("DDSIM_FAIL")) ParseFailList(v);
}

}  // namespace

void Lock()
{
    EnterCriticalSection(&W().cs);
    EnsureConfigured();
}

void Unlock() { LeaveCriticalSection(&W().cs); }

control::Block* OutsideBlock()
{
    Guard g;
    static control::Block* block = nullptr;
    if (block || !W().cfg.outsideControl) return block;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, control::kBlockName);
    if (!mapping) return nullptr;
    block = static_cast<control::Block*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(control::Block)));
    CloseHandle(mapping);   // the view keeps the block
    return block;
}

int FrameMs()
{
    Guard g;
    return W().cfg.frameMs;
}

bool ShownSurfaceFed()
{
    Guard g;
    return W().shown && W().shown->fed;
}

void SetPictureWindow(HWND hwnd)
{
    Guard g;
    W().pictureWnd = hwnd;
}

DWORD WINAPI PictureThreadMain(LPVOID);

void NotifyPicture()
{
    World& w = W();
    if (!w.pictureThread) {
        if (!w.shown) return;   // nothing to show yet: no thread needed
        w.pictureThread = CreateThread(nullptr, 0, PictureThreadMain, nullptr, 0, nullptr);
        return;
    }
    if (w.pictureWnd) PostMessageW(w.pictureWnd, WM_APP, 0, 0);
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Test API

using namespace detail;

bool Call::Has(const char* key) const
{
    for (const auto& a : args)
        if (a.first == key) return true;
    return false;
}

std::string Call::Arg(const char* key) const
{
    for (const auto& a : args)
        if (a.first == key) return a.second;
    return "";
}

long long Call::Num(const char* key) const
{
    if (!Has(key)) return -1;
    return strtoll(Arg(key).c_str(), nullptr, 0);
}

std::string Call::Text() const
{
    char head[64];
    snprintf(head, sizeof head, "%u %lu ", seq, static_cast<unsigned long>(ms));
    std::string s = head + name;
    if (!object.empty()) s += " " + object;
    if (dead) s += " DEAD";
    for (const auto& a : args) s += " " + a.first + "=" + a.second;
    s += " -> " + Hex(static_cast<DWORD>(hr));
    return s;
}

void Reset()
{
    Guard g;
    World& w = W();
    for (SimObject* o : w.all) o->Kill();
    ++w.generation;   // the dead stay in memory, their places free for new objects; their lookup ends
    ForgetCalls();
    w.counts.clear();
    w.seq = 0;
    w.deadCalls = 0;
    w.videoMemoryUsed = 0;
    w.escapeX = 0;
    w.shown = nullptr;
    w.src = w.dst = RECT{};
    w.prescaleW = w.prescaleH = 0;
    w.frameAccum = 0;
    w.fieldsFlowing = false;
    w.coopWnd = nullptr;
    if (w.hook) UnhookWindowsHookEx(w.hook);
    w.hook = nullptr;
    ReadEnvironment(w.cfg, w.faults);
    if (const char* v = getenv("DDSIM_FAIL")) ParseFailList(v);
    NotifyPicture();
}

void ClearLog()
{
    Guard g;
    World& w = W();
    ForgetCalls();
    w.counts.clear();
    w.faults.clear();
    w.seq = 0;
    w.deadCalls = 0;
}

void SetOverlaySupport(bool supported)
{
    Guard g;
    W().cfg.overlay = supported;
}

void SetPortCount(int ports)
{
    Guard g;
    W().cfg.ports = ports < 0 ? 0 : ports;
}

void SetMoreData(bool moreData)
{
    Guard g;
    W().cfg.moreData = moreData;
}

void Fail(const std::string& name, int nth, HRESULT hr, int count)
{
    Guard g;
    W().faults.push_back({name, nth < 1 ? 1 : nth, count < 0 ? 1 : count, hr});
}

bool ParseFailList(const char* list)
{
    bool ok = true;
    std::string all = list ? list : "";
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find(',', start);
        if (end == std::string::npos) end = all.size();
        std::string item = all.substr(start, end - start);
        start = end + 1;
        if (item.empty()) continue;
        std::vector<std::string> parts;
        for (size_t p = 0;;) {
            size_t q = item.find(':', p);
            parts.push_back(item.substr(p, q == std::string::npos ? std::string::npos : q - p));
            if (q == std::string::npos) break;
            p = q + 1;
        }
        char* stop = nullptr;
        long nth = parts.size() >= 3 ? strtol(parts[1].c_str(), &stop, 10) : -1;
        bool good = parts.size() >= 3 && parts.size() <= 4 && !parts[0].empty() && stop && !*stop && nth >= 0;
        unsigned long hr = good ? strtoul(parts[2].c_str(), &stop, 0) : 0;
        good = good && !*stop;
        long count = 1;
        if (good && parts.size() == 4) {
            count = strtol(parts[3].c_str(), &stop, 10);
            good = !*stop && count >= 0;
        }
        if (!good) {
            ok = false;
            continue;
        }
        Fail(parts[0], nth == 0 ? 1 : static_cast<int>(nth), static_cast<HRESULT>(hr), static_cast<int>(count));
    }
    return ok;
}

std::vector<Call> Log()
{
    Guard g;
    return KeptCalls();
}

std::vector<Call> Calls(const std::string& name)
{
    Guard g;
    std::vector<Call> out;
    for (Call& c : KeptCalls())
        if (c.name == name) out.push_back(std::move(c));
    return out;
}

int Count(const std::string& name)
{
    Guard g;
    auto it = W().counts.find(name);
    return it == W().counts.end() ? 0 : it->second;
}

int DeadCalls()
{
    Guard g;
    return W().deadCalls;
}

Live LiveObjects()
{
    Guard g;
    Live live;
    for (SimObject* o : W().all) {
        if (!o->Alive()) continue;
        if (dynamic_cast<SimDirectDraw*>(o)) ++live.directDraw;
        if (auto* s = dynamic_cast<SimSurface*>(o)) {
            if (s->Primary()) ++live.primary;
            else if (s->Overlay() && !s->BackBuffer()) ++live.overlays;
        }
        if (dynamic_cast<SimPort*>(o)) ++live.videoPorts;
    }
    return live;
}

Display GetDisplay()
{
    Guard g;
    World& w = W();
    Display d;
    AdvanceFrames(GetTickCount());
    d.frame = w.frameAccum;
    d.escapeX = w.escapeX;
    d.prescaleWidth = w.prescaleW;
    d.prescaleHeight = w.prescaleH;
    if (!w.shown) return d;
    d.overlayShown = true;
    d.src = w.src;
    d.dst = w.dst;
    d.surfaceWidth = static_cast<int>(w.shown->Width());
    d.surfaceHeight = static_cast<int>(w.shown->Height());
    for (SimObject* o : w.all) {
        auto* p = dynamic_cast<SimPort*>(o);
        if (p && p->Alive() && p->Target() == w.shown && w.fieldsFlowing) d.portRunning = true;
    }
    RECT scr = {w.escapeX + w.dst.left, w.dst.top, w.escapeX + w.dst.right, w.dst.bottom};
    RECT bounds = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!IntersectRect(&d.screen, &scr, &bounds)) d.screen = RECT{};
    return d;
}

HWND PictureWindow()
{
    Guard g;
    return W().pictureWnd;
}

}  // namespace ddsim

// ---------------------------------------------------------------------------
// Entry points under the device's names

using namespace ddsim;
using namespace ddsim::detail;

extern "C" HRESULT WINAPI DirectDrawCreate(GUID* lpGUID, LPDIRECTDRAW* lplpDD, IUnknown* pUnkOuter)
{
    Rec rec("DirectDrawCreate", nullptr);
    rec.Arg("guid", lpGUID ? GuidText(*lpGUID) : "null");
    if (lplpDD) *lplpDD = nullptr;
    if (HRESULT hr = rec.Injected()) return rec.Done(hr);
    if (!lplpDD || pUnkOuter || lpGUID) return rec.Done(DDERR_INVALIDPARAMS);
    auto* dd = Make<SimDirectDraw>();
    *lplpDD = dd;
    rec.Obj("result", dd);
    return rec.Done(DD_OK);
}

extern "C" int WINAPI DdsimExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput, LPSTR lpOutData)
{
    if (iEscape != kEscOverlayXPos) return ::ExtEscape(hdc, iEscape, cjInput, lpInData, cjOutput, lpOutData);
    Rec rec("ExtEscape", nullptr);
    rec.Num("escape", iEscape).Num("code", cjInput).Arg("in", lpInData ? "data" : "null").Num("outSize", cjOutput);
    rec.Arg("out", lpOutData ? "buffer" : "null");
    HWND hwnd = hdc ? WindowFromDC(hdc) : nullptr;
    rec.Arg("dc", !hdc ? "null" : (hwnd ? "window" : "other"));
    if (rec.Injected()) return static_cast<int>(rec.Done(0));
    int width = GetSystemMetrics(SM_CXSCREEN);
    if (!hdc || cjInput < 1000 || cjInput >= 1000 + width) return static_cast<int>(rec.Done(0));
    World& w = W();
    if (w.shown && cjInput - 1000 + w.dst.right > width) return static_cast<int>(rec.Done(0));
    w.escapeX = cjInput - 1000;
    NotifyPicture();
    return static_cast<int>(rec.Done(1));
}

#include "SoakKit.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <sstream>

using namespace devtest;

namespace soak {

// ================================================================= seed and size

Config ReadConfig(const char* name, int defaultEvents)
{
    Config c;
    c.events = defaultEvents;
    if (const char* e = std::getenv("SOAK_EVENTS")) {
        int n = std::atoi(e);
        if (n > 0) c.events = n;
    }
    if (const char* s = std::getenv("SOAK_SEED"); s && *s) {
        c.seed = std::strtoull(s, nullptr, 0);
    } else {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        c.seed = (static_cast<uint64_t>(t.QuadPart) * 0x9E3779B97F4A7C15ull) ^ GetCurrentProcessId();
    }
    std::ostringstream header;
    header << name << ": seed " << c.seed << ", " << c.events << " events (replay: SOAK_SEED=" << c.seed
           << " SOAK_EVENTS=" << c.events << ")";
    Journal::Get().SetHeader(header.str());
    std::printf("%s\n", header.str().c_str());
    std::fflush(stdout);
    return c;
}

std::vector<int> Mix(const std::vector<int>& defaults)
{
    const char* e = std::getenv("SOAK_MIX");
    if (!e) return defaults;
    std::vector<int> w;
    std::stringstream in(e);
    std::string item;
    while (std::getline(in, item, ',')) w.push_back(std::max(0, std::atoi(item.c_str())));
    w.resize(defaults.size(), 0);
    int total = 0;
    for (int x : w) total += x;
    return total > 0 ? w : defaults;
}

size_t Rng::Weighted(const std::vector<int>& weights)
{
    int total = 0;
    for (int w : weights) total += w;
    int r = Int(0, total - 1);
    for (size_t i = 0; i < weights.size(); ++i) {
        if (r < weights[i]) return i;
        r -= weights[i];
    }
    return weights.size() - 1;
}

// ================================================================= journal and watchdog

Journal& Journal::Get()
{
    static Journal* j = new Journal();   // also read by the crash filter, after static destructors
    return *j;
}

void Journal::Note(const std::string& line)
{
    std::lock_guard<std::mutex> lock(m_lock);
    uint64_t n = ++m_count;
    m_lines.push_back("#" + std::to_string(n) + " " + line);
    if (m_lines.size() > 200) m_lines.pop_front();
}

std::string Journal::Recent(size_t n) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::string out;
    size_t from = m_lines.size() > n ? m_lines.size() - n : 0;
    for (size_t i = from; i < m_lines.size(); ++i) out += "    " + m_lines[i] + "\n";
    return out;
}

std::string Journal::Last() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lines.empty() ? std::string() : m_lines.back();
}

void Journal::SetHeader(const std::string& header)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_header = header;
}

std::string Journal::Header() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_header;
}

namespace {

void Report(const char* what, const std::string& detail)
{
    Journal& j = Journal::Get();
    std::fprintf(stderr, "\n*** %s\n%s\n%s  latest events:\n%s", what, j.Header().c_str(), detail.c_str(),
                 j.Recent().c_str());
    std::fflush(stderr);
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info)
{
    char detail[128];
    std::snprintf(detail, sizeof detail, "  exception 0x%08lX at %p\n",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                  info->ExceptionRecord->ExceptionAddress);
    Report("CRASH in the soak's process", detail);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallCrashReport() { SetUnhandledExceptionFilter(&CrashFilter); }

void Stalls::Add(ULONGLONG ms, const std::string& what)
{
    const size_t keep = 8;
    if (m_top.size() >= keep && ms <= m_top.back().first) return;
    m_top.emplace_back(ms, what);
    std::sort(m_top.begin(), m_top.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (m_top.size() > keep) m_top.pop_back();
}

std::string Stalls::Describe(size_t n) const
{
    std::ostringstream out;
    out << "  longest events:\n";
    for (size_t i = 0; i < m_top.size() && i < n; ++i) out << "    " << m_top[i].first << " ms  " << m_top[i].second << "\n";
    return out.str();
}

Watchdog::Watchdog(DWORD hangMs, std::function<std::string()> blame)
    : m_last(GetTickCount64()), m_hangMs(hangMs), m_blame(std::move(blame))
{
    m_thread = std::thread([this] { Run(); });
}

Watchdog::~Watchdog()
{
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

void Watchdog::Run()
{
    while (!m_stop) {
        Sleep(200);
        ULONGLONG idle = GetTickCount64() - m_last;
        if (idle <= m_hangMs + m_extra) continue;
        std::string detail = "  nothing returned for " + std::to_string(idle) + " ms\n";
        if (m_blame) detail += m_blame();
        Report("HANG", detail);
        TerminateProcess(GetCurrentProcess(), 3);
    }
}

// ================================================================= host codes

namespace {

int AbsurdNumber(Rng& rng)
{
    static const std::vector<int> odd = {-1, 0, 1, 9, 10, 20, 21, 99, 100, 255, 256, 1000, 65535, INT_MAX, INT_MIN,
                                         INT_MIN + 1, -100000};
    return rng.Chance(0.7) ? rng.Pick(odd) : static_cast<int>(rng.U32());
}

}  // namespace

HostCode RandomHostCode(Rng& rng)
{
    static const std::vector<int> viewArgs = {40, 41, 44, 46, 47, 48, 50, 51, 52, 53, 56, 58, 59, 60, 61, 90};
    switch (rng.Weighted({30, 8, 8, 8, 6, 5, 5, 5, 4, 5, 4, 6, 6})) {
    case 0: return {16, rng.Chance(0.9) ? rng.Pick(viewArgs) : AbsurdNumber(rng)};
    case 1: return {60, rng.Chance(0.5) ? rng.Int(0, 40) : AbsurdNumber(rng)};
    case 2: return {61, rng.Chance(0.5) ? rng.Int(0, 40) : AbsurdNumber(rng)};
    case 3: return {62, rng.Chance(0.6) ? rng.Int(0, 20) : AbsurdNumber(rng)};
    case 4: return {80, rng.Chance(0.8) ? rng.Int(0, 1) : AbsurdNumber(rng)};
    case 5: return {100, rng.Chance(0.5) ? 26 : AbsurdNumber(rng)};
    case 6: return {101, rng.Chance(0.7) ? rng.Int(11, 12) : AbsurdNumber(rng)};
    case 7: return {102, rng.Chance(0.7) ? rng.Int(1, 2) : AbsurdNumber(rng)};
    case 8: return {47, AbsurdNumber(rng)};   // a channel index coming back the wrong way
    case 9: return {45, rng.Chance(0.7) ? rng.Pick(std::vector<int>{5, 6, 7, 8}) : AbsurdNumber(rng)};
    case 10: return {rng.Pick(std::vector<int>{14, 48, 56, 90, 5, 9, 41, 42}), AbsurdNumber(rng)};
    case 11: return {rng.Int(-5, 300), AbsurdNumber(rng)};
    default: return {static_cast<int>(rng.U32()), static_cast<int>(rng.U32())};
    }
}

// ================================================================= DAB texts

namespace {

std::vector<BYTE> Utf16Bytes(const std::wstring& s, bool zero)
{
    std::vector<BYTE> b(reinterpret_cast<const BYTE*>(s.data()),
                        reinterpret_cast<const BYTE*>(s.data()) + s.size() * sizeof(wchar_t));
    if (zero) b.insert(b.end(), 2, 0);
    return b;
}

const std::wstring kTextPool = L"가나다라마바사아자차카타파하 ABCxyz0123456789.-/:기억장치카드채널";

std::wstring RandomText(Rng& rng, size_t n)
{
    const std::wstring& pool = kTextPool;
    std::wstring s;
    for (size_t i = 0; i < n; ++i) {
        if (rng.Chance(0.02)) s += static_cast<wchar_t>(0xD800 + rng.Int(0, 0x7FF));   // a lone surrogate
        else if (rng.Chance(0.01)) s += L'\r';
        else s += pool[static_cast<size_t>(rng.Int(0, static_cast<int>(pool.size()) - 1))];
    }
    return s;
}

// One of the 4,888 Hanja of the Korean character set: rows 0xCA to 0xFD of its two-byte code.
wchar_t KoreanHanja(Rng& rng)
{
    const char bytes[2] = {static_cast<char>(rng.Int(0xCA, 0xFD)), static_cast<char>(rng.Int(0xA1, 0xFE))};
    wchar_t c = 0;
    return MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, bytes, 2, &c, 1) == 1 ? c : L'\x4E00';
}

}  // namespace

// The platform keeps every glyph it has drawn in a cache of each font, for good: a soak that drew
// ever-new characters would see that cache grow and could not tell it from a leak of the
// program's. So the garbage draws from a fixed set, the same in every run, which the warm-up
// shows once: control characters, Latin, jamo, syllables and Hanja of the Korean character set.
const std::wstring& DabRepertoire()
{
    static const std::wstring chars = [] {
        Rng fixed(0x0DAB);
        std::wstring c;
        for (wchar_t ch = 0x01; ch <= 0x7E; ++ch) c += ch;
        for (int i = 0; i < 16; ++i) c += static_cast<wchar_t>(fixed.Int(0x3131, 0x318E));
        for (int i = 0; i < 96; ++i) c += static_cast<wchar_t>(fixed.Int(0xAC00, 0xD7A3));
        for (int i = 0; i < 48; ++i) c += KoreanHanja(fixed);
        return c;
    }();
    return chars;
}

std::vector<std::wstring> DabSampler()
{
    std::wstring all = DabRepertoire() + kTextPool;
    for (wchar_t& c : all)
        if (c < L' ') c = L' ';   // control characters take no glyph of their own
    std::vector<std::wstring> lines;
    for (size_t at = 0; at < all.size(); at += 12) lines.push_back(all.substr(at, 12));
    return lines;
}

CopyData RandomCopyData(Rng& rng)
{
    CopyData d;
    d.dwData = rng.Chance(0.8) ? 0 : rng.U32();
    switch (rng.Weighted({30, 8, 8, 12, 10, 6, 6, 6, 6})) {
    case 0:
        d.bytes = Utf16Bytes(RandomText(rng, static_cast<size_t>(rng.Int(1, 60))), true);
        d.what = "text";
        break;
    case 1:
        d.bytes = Utf16Bytes(L"", true);
        d.what = "empty text";
        break;
    case 2:
        // Far beyond a DAB label (128 characters); the narrow line wraps it at a cost that grows
        // faster than its length, so the bad-input tests time the extreme separately.
        d.bytes = Utf16Bytes(RandomText(rng, static_cast<size_t>(rng.Int(300, 3000))), true);
        d.what = "long text";
        break;
    case 3:
        d.bytes = Utf16Bytes(RandomText(rng, static_cast<size_t>(rng.Int(1, 300))), false);
        d.what = "text without its zero";
        break;
    case 4: {
        d.bytes = Utf16Bytes(RandomText(rng, static_cast<size_t>(rng.Int(1, 40))), rng.Chance(0.5));
        d.bytes.push_back(static_cast<BYTE>(rng.Int(1, 255)));
        d.what = "odd size";
        break;
    }
    case 5:
        d.what = "no bytes";
        break;
    case 6:
        d.nullData = true;
        d.what = "no data";
        break;
    case 7: {
        std::wstring s = RandomText(rng, 10);
        s[5] = L'\0';
        d.bytes = Utf16Bytes(s, true);
        d.what = "zero inside";
        break;
    }
    default: {
        // Any code units of the scripts a DAB text carries, none of them zero. (Arbitrary code
        // units reach the platform's text shaping, which under Wine 8 can fault on some of them:
        // that is the platform's, not the viewer's, and would only end the soak early. The Hanja
        // are those of the Korean character set, which the device's font has: others go through
        // the platform's font fallback, and Wine 8's multi-line edit keeps some of the fallback
        // fonts for good when its text is replaced, a leak of the platform's the census would
        // blame on the viewer.)
        const std::wstring& chars = DabRepertoire();
        std::wstring s;
        for (int i = 0, n = rng.Int(1, 256); i < n; ++i) s += chars[static_cast<size_t>(rng.Int(0, static_cast<int>(chars.size()) - 1))];
        d.bytes = Utf16Bytes(s, false);
        d.what = "garbage without a zero";
        break;
    }
    }
    d.cbData = static_cast<DWORD>(d.bytes.size());
    d.what += " (" + std::to_string(d.cbData) + " bytes)";
    return d;
}

// ================================================================= channel files

namespace {

// The bytes of garbage names: control characters, Latin, and lead and trail bytes of the Korean
// code page that pair into a few dozen characters (or none), a fixed set the warm-up shows once
// (the platform keeps every glyph it has drawn; see DabRepertoire).
const std::vector<int> kNameBytes = {0x01, 0x1F, 0x20, 0x41, 0x7E, 0x7F, 0x80, 0x81, 0xA1, 0xB1, 0xFE, 0xFF};

std::string RandomName(Rng& rng, bool fill)
{
    static const std::vector<std::string> names = {
        ToAnsi(L"KBS1"), ToAnsi(L"MBC 뉴스"), ToAnsi(L"기억 채널"), ToAnsi(L"라디오 가나다라마바사"), "SBS", "YTN"};
    std::string s = rng.Pick(names);
    if (!fill) return s;
    // 32 bytes with no zero: DBCS lead bytes without their trail bytes included, one at the end.
    s.resize(32);
    for (char& c : s) c = static_cast<char>(rng.Pick(kNameBytes));
    s[31] = static_cast<char>(0xB1);
    return s;
}

std::vector<uint8_t> Image(Rng& rng, int tv, int radio, bool fill)
{
    std::vector<std::string> tvNames, radioNames;
    for (int i = 0; i < 20; ++i) tvNames.push_back(RandomName(rng, fill && rng.Chance(0.7)));
    for (int i = 0; i < 80; ++i) radioNames.push_back(RandomName(rng, fill && rng.Chance(0.7)));
    return ChannelImage(static_cast<uint8_t>(tv), static_cast<uint8_t>(radio), tvNames, radioNames);
}

}  // namespace

// Every character the garbage names can make, in five names, as many as a list shows at once:
// one for each lead byte with every byte after it and alone at the end, one of the other bytes.
ChannelWrite GlyphSampler()
{
    std::vector<std::string> names(1);
    for (int b : kNameBytes) {
        if (!IsDBCSLeadByteEx(949, static_cast<BYTE>(b))) {
            names[0] += static_cast<char>(b);
            continue;
        }
        std::string name;
        for (int trail : kNameBytes) name += {static_cast<char>(b), static_cast<char>(trail)};
        names.push_back(name.substr(0, 31) + static_cast<char>(b));
    }
    std::vector<std::string> tv, radio;
    for (size_t i = 0; i < 20; ++i) tv.push_back(names[i % names.size()]);
    for (size_t i = 0; i < 80; ++i) radio.push_back(names[i % names.size()]);
    ChannelWrite w;
    w.bytes = ChannelImage(20, 80, tv, radio);
    w.what = "every character of the garbage names";
    return w;
}

ChannelWrite RandomChannelWrite(Rng& rng)
{
    ChannelWrite w;
    switch (rng.Weighted({25, 12, 10, 14, 12, 8, 5, 4, 4})) {
    case 0:
        w.bytes = Image(rng, rng.Int(0, 20), rng.Int(0, 80), false);
        w.what = "proper file";
        break;
    case 1:
        w.bytes = Image(rng, rng.Int(0, 20), rng.Int(0, 80), false);
        w.bytes.resize(static_cast<size_t>(rng.Chance(0.3) ? rng.Int(0, 4) : rng.Int(0, 3203)));
        w.what = "short file";
        break;
    case 2:
        w.bytes = Image(rng, rng.Int(0, 20), rng.Int(0, 80), rng.Chance(0.5));
        w.bytes.resize(kChannelFileSize + static_cast<size_t>(rng.Int(1, 20000)), static_cast<uint8_t>(rng.Int(0, 255)));
        w.what = "long file";
        break;
    case 3:
        w.bytes = Image(rng, rng.Int(0, 255), rng.Int(0, 255), rng.Chance(0.5));
        w.bytes[static_cast<size_t>(rng.Int(0, 1))] = static_cast<uint8_t>(rng.Int(21, 255));
        w.what = "corrupt counts";
        break;
    case 4:
        w.bytes = Image(rng, rng.Int(0, 20), rng.Int(0, 80), true);
        w.what = "names without zero bytes";
        break;
    case 5:
        w.bytes.resize(kChannelFileSize);
        for (uint8_t& b : w.bytes) b = static_cast<uint8_t>(rng.Chance(0.1) ? 0 : rng.Pick(kNameBytes));
        w.what = "garbage";
        break;
    case 6:
        w.kind = ChannelWrite::Delete;
        w.what = "no file";
        break;
    case 7:
        w.kind = ChannelWrite::Folder;
        w.what = "a folder in its place";
        break;
    default:
        w.kind = ChannelWrite::Locked;
        w.bytes = Image(rng, rng.Int(0, 20), rng.Int(0, 80), false);
        w.what = "file held open by another";
        break;
    }
    if (!w.bytes.empty() || w.kind == ChannelWrite::Bytes) {
        w.what += " (" + std::to_string(w.bytes.size()) + " bytes";
        if (w.bytes.size() >= 2) w.what += ", counts " + std::to_string(w.bytes[0]) + "/" + std::to_string(w.bytes[1]);
        w.what += ")";
    }
    return w;
}

ChannelFile::~ChannelFile() { Release(); }

void ChannelFile::Release()
{
    if (m_held != INVALID_HANDLE_VALUE) CloseHandle(m_held);
    m_held = INVALID_HANDLE_VALUE;
}

bool ChannelFile::Apply(const ChannelWrite& w)
{
    Release();
    const std::wstring path = ChannelFilePath();
    CreateFolders(CardRoot() + L"\\appdata");
    RemoveDirectoryW(path.c_str());
    switch (w.kind) {
    case ChannelWrite::Delete:
        DeleteFileW(path.c_str());
        return !FileExists(path);
    case ChannelWrite::Folder:
        DeleteFileW(path.c_str());
        return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
    case ChannelWrite::Locked:
        if (!WriteChannelBytes(w.bytes)) return false;
        m_held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        return m_held != INVALID_HANDLE_VALUE;
    default:
        return WriteChannelBytes(w.bytes);
    }
}

// ================================================================= the host

RandomHost::RandomHost(HostWindow& window, Rng& rng) : m_window(window), m_rng(rng)
{
    m_window.SetAnswer([this](HostWindow&, int code, int arg) { OnRequest(code, arg); });
}

void RandomHost::StepStore(const wchar_t* name, int delta, int lo, int hi)
{
    auto v = ReadDword(name);
    int n = v ? static_cast<int>(*v) : lo;
    n += delta;
    if (n < lo) n = lo;
    if (n > hi) n = hi;
    WriteDword(name, static_cast<DWORD>(n));
}

std::vector<HostCode> RandomHost::AnswersTo(int code, int arg)
{
    std::vector<HostCode> a;
    if (code == 14 && arg == 66) a.push_back({16, m_rng.Chance(0.5) ? 40 : 41});
    else if (code == 14 && arg == 74) a.push_back({16, 56});
    else if (code == 102 && arg == 1) a.push_back({16, 48});
    else if (code == 100 && arg == 24) a.push_back({16, m_rng.Pick(std::vector<int>{44, 48, 50, 51})});
    else if (code == 100 && arg == 23) a.push_back({101, (m_muted ^= 1) ? 11 : 12});
    else if (code == 14 && arg == 68) {
        for (int i = 0, n = m_rng.Int(0, 6); i < n; ++i) a.push_back({m_rng.Int(60, 62), m_rng.Int(0, 25)});
        if (m_rng.Chance(0.8)) a.push_back({80, 1});
        if (m_rng.Chance(0.6)) a.push_back({16, 58});
    } else if ((code == 48 || code == 47 || (code == 100 && arg == 25)) && m_rng.Chance(0.3)) {
        a.push_back({16, m_rng.Pick(std::vector<int>{59, 60, 61})});
    } else if (code == 100 && arg == 26 && m_rng.Chance(0.3)) {
        a.push_back({16, 46});
    }
    return a;
}

void RandomHost::OnRequest(int code, int arg)
{
    ++requests;
    // What the host keeps in the store.
    if (code == 100 && arg == 11) StepStore(L"Volume", +1, 1, 10);
    if (code == 100 && arg == 12) StepStore(L"Volume", -1, 1, 10);
    if (code == 42) WriteDword(L"Bright", static_cast<DWORD>(arg));
    if (code == 41) WriteDword(L"FMTx", static_cast<DWORD>(arg));
    if (code == 5) WriteDword(L"Dimmer", arg == 7 ? 1 : 0);

    std::vector<HostCode> answers = AnswersTo(code, arg);
    if (answers.empty()) return;
    const int mode = m_calm ? 0 : static_cast<int>(m_rng.Weighted({45, 35, 20}));
    if (mode == 2) {
        ++ignored;
        return;
    }
    if (mode == 0 && answers.size() == 1) {
        ++answered;
        Journal::Get().Note("host answers " + std::to_string(answers[0].code) + "/" + std::to_string(answers[0].arg) +
                            " at once");
        Send(answers[0]);
        return;
    }
    ++late;
    ULONGLONG at = Now();
    for (const HostCode& c : answers) {
        at += static_cast<ULONGLONG>(m_calm ? 0 : m_rng.Int(0, 700));
        m_due.push_back({at, c});
    }
}

void RandomHost::Tick()
{
    const ULONGLONG now = Now();
    for (size_t i = 0; i < m_due.size();) {
        if (m_due[i].at > now) {
            ++i;
            continue;
        }
        HostCode c = m_due[i].c;
        m_due.erase(m_due.begin() + static_cast<long>(i));
        Journal::Get().Note("host answers " + std::to_string(c.code) + "/" + std::to_string(c.arg) + " late");
        Send(c);
        i = 0;   // the answer may have added requests and answers
    }
}

void RandomHost::Calm()
{
    m_calm = true;
    m_due.clear();
}

void RandomHost::Wild() { m_calm = false; }

void RandomHost::Send(const HostCode& c) { m_window.Broadcast(c.code, c.arg); }

// ================================================================= touches

namespace {

struct Box {
    int l, t, r, b;
};

// The viewer's buttons and rows, the picture frame and a few spots between them.
const std::vector<Box> kViewerSpots = {
    {528, 69, 632, 113}, {4, 370, 46, 412}, {418, 69, 522, 113}, {418, 119, 522, 163}, {528, 119, 632, 163},
    {559, 430, 636, 475}, {432, 188, 492, 239}, {432, 272, 492, 323}, {559, 188, 619, 239}, {559, 272, 619, 323},
    {505, 237, 545, 277}, {424, 375, 522, 414}, {528, 375, 626, 414}, {424, 420, 522, 459}, {421, 180, 582, 211},
    {421, 221, 582, 252}, {421, 262, 582, 293}, {421, 303, 582, 334}, {421, 344, 582, 375}, {421, 385, 582, 416},
    {582, 173, 636, 249}, {582, 348, 636, 424}, {46, 131, 364, 369}, {580, 170, 590, 250},
};

const std::vector<Box> kPanelSpots = {
    {256, 52, 286, 85}, {344, 52, 374, 85}, {256, 102, 286, 135}, {344, 102, 374, 135},
    {256, 152, 286, 185}, {344, 152, 374, 185}, {287, 52, 343, 185}, {0, 60, 479, 233},
};

void In(Rng& rng, const Box& b, int& x, int& y)
{
    x = rng.Int(b.l, b.r);
    y = rng.Int(b.t, b.b);
}

void Anywhere(Rng& rng, int& x, int& y)
{
    if (rng.Chance(0.15)) {   // off the window, negative, far out
        x = rng.Int(-2000, 4000);
        y = rng.Int(-2000, 4000);
        return;
    }
    x = rng.Int(0, 639);
    y = rng.Int(0, 479);
}

}  // namespace

LPARAM PointParam(int x, int y)
{
    return static_cast<LPARAM>(static_cast<DWORD>(static_cast<WORD>(static_cast<short>(x))) |
                               (static_cast<DWORD>(static_cast<WORD>(static_cast<short>(y))) << 16));
}

Touch RandomViewerTouch(Rng& rng, int viewMode, int, int clientW, int clientH)
{
    Touch t;
    const bool windowed = viewMode == 1 || viewMode == 2;
    const bool pip = viewMode == 6 || viewMode == 7;
    if (windowed && rng.Chance(0.75)) In(rng, rng.Pick(kViewerSpots), t.downX, t.downY);
    else if (pip && rng.Chance(0.8)) {
        const int w = clientW > 0 ? clientW : 320, h = clientH > 0 ? clientH : 240;
        t.downX = rng.Int(0, w - 1);
        t.downY = rng.Chance(0.15) ? h / 2 : rng.Int(0, h - 1);
    } else Anywhere(rng, t.downX, t.downY);
    t.upX = t.downX;
    t.upY = t.downY;
    if (rng.Chance(0.2)) {   // the finger slides off before it lifts
        if (windowed && rng.Chance(0.5)) In(rng, rng.Pick(kViewerSpots), t.upX, t.upY);
        else Anywhere(rng, t.upX, t.upY);
    }
    if (rng.Chance(0.06)) t.up = false;     // a touch-down that never lifts (a burst of downs)
    else if (rng.Chance(0.04)) t.down = false;   // a lift without a touch-down
    return t;
}

Touch RandomPanelTouch(Rng& rng)
{
    Touch t;
    if (rng.Chance(0.8)) In(rng, rng.Pick(kPanelSpots), t.downX, t.downY);
    else {
        t.downX = rng.Int(-100, 800);
        t.downY = rng.Int(49, 600);   // below the close button's rows: the panel stays open
    }
    t.upX = t.downX;
    t.upY = t.downY;
    if (rng.Chance(0.2)) {
        t.upX = rng.Int(-500, 1000);
        t.upY = rng.Int(-500, 1000);
    }
    if (rng.Chance(0.05)) t.up = false;
    return t;
}

std::string Hex(uint64_t v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

std::string Narrow(const std::wstring& s)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace soak

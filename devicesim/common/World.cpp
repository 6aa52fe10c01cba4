#include "World.h"

#include <algorithm>

#include "Console.h"
#include "HostCodes.h"

namespace devworld {

const wchar_t kViewerExe[] = L"TVSCREEN.exe";
const wchar_t kPanelExe[] = L"PanelCfg.exe";
const wchar_t kSettingsExe[] = L"setting.exe";
const wchar_t kGpsExe[] = L"SatWake.exe";
const wchar_t kBlankExe[] = L"DarkPane.exe";
const wchar_t kKickoffExe[] = L"Kickoff.exe";
const wchar_t kMainMenuExe[] = L"main.exe";

const wchar_t kStoreKey[] = L"software\\quelmar\\systemData";
const wchar_t kReceiverKey[] = L"Software\\devicesim\\receiver";

const wchar_t kViewerTitle[] = L"TVSCREEN";
const wchar_t kPanelTitle[] = L"CONFIG";
const wchar_t kMenuTitle[] = L"\uAE30\uBCF8\uBA54\uB274";  // 기본메뉴
const wchar_t kMenuClass[] = L"DeviceMainMenu";
const wchar_t kHostTitle[] = L"DeviceHostService";
const wchar_t kHostClass[] = L"DeviceHostService";
const wchar_t kSoftKeyName[] = L"HL_SOFTKEY";

const wchar_t kTrafficSlot[] = L"\\\\.\\mailslot\\devicesim\\traffic";
const wchar_t kHeldClockVariable[] = L"DEVICEHOST_HELD_CLOCK";

bool IsRequestCode(int code)
{
    switch (code) {
    case SK_VIEW_REQUEST: case SK_TUNE_CHANNEL: case SK_SELECT_BAND: case SK_TV_LIST: case SK_PIP_LEAVE:
    case SK_RECEIVER: case SK_PIP_REQUEST: case SK_DIMMER: case SK_PANEL_CLOSING: case SK_FM_TX:
    case SK_BRIGHTNESS: case kMenuRequest:
        return true;
    default:
        return false;
    }
}

void NudgeWindows() { PostMessageW(HWND_BROADCAST, WM_NULL, 0, 0); }

// The viewer's failure reports carry its title too (the framework's default caption), but a
// message box has an owner and the viewer's dialog has none.
HWND FindViewer()
{
    for (HWND w = FindWindowExW(nullptr, nullptr, nullptr, kViewerTitle); w;
         w = FindWindowExW(nullptr, w, nullptr, kViewerTitle)) {
        if (!GetWindow(w, GW_OWNER)) return w;
    }
    NudgeWindows();
    return nullptr;
}

bool ViewerRunning()
{
    HANDLE guard = OpenMutexW(SYNCHRONIZE, FALSE, kViewerTitle);
    if (!guard) return false;
    CloseHandle(guard);
    return true;
}

// ------------------------------------------------------------------ the card

std::wstring CardRoot() { return L"C:\\\uAE30\uC5B5 \uC7A5\uCE58 \uCE74\uB4DC"; }  // 기억 장치 카드
std::wstring AppFolder() { return CardRoot() + L"\\app"; }
std::wstring AppDataFolder() { return CardRoot() + L"\\appdata"; }
std::wstring ChannelFilePath() { return AppDataFolder() + L"\\SERIALData.dat"; }
std::wstring CardProgram(const wchar_t* exeName) { return AppFolder() + L"\\" + exeName; }

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CreateFolderTree(const std::wstring& path)
{
    if (path.empty()) return true;
    if (PathExists(path)) return (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;   // not a file
    size_t cut = path.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 2 && !CreateFolderTree(path.substr(0, cut))) return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool DeleteTree(const std::wstring& path)
{
    DWORD attr = GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return true;
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);   // a read-only file goes too
        return DeleteFileW(path.c_str()) != 0;
    }
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name != L"." && name != L"..") DeleteTree(path + L"\\" + name);
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    return RemoveDirectoryW(path.c_str()) != 0;
}

bool InstallCard(const std::wstring& deliverablesDir, const std::wstring& simDir, std::wstring* failed)
{
    auto fail = [failed](const std::wstring& what) {
        if (failed) *failed = what;
        return false;
    };
    if (!CreateFolderTree(AppFolder())) return fail(AppFolder());
    if (!CreateFolderTree(AppDataFolder())) return fail(AppDataFolder());
    struct Copy {
        const std::wstring& from;
        const wchar_t* source;
        const wchar_t* target;
    };
    const Copy copies[] = {
        {deliverablesDir, kViewerExe, kViewerExe}, {deliverablesDir, kPanelExe, kPanelExe},
        {deliverablesDir, kPanelExe, kSettingsExe}, {deliverablesDir, kGpsExe, kGpsExe},
        {deliverablesDir, kBlankExe, kBlankExe},   {deliverablesDir, kKickoffExe, kKickoffExe},
        {simDir, kMainMenuExe, kMainMenuExe},
    };
    for (const Copy& c : copies) {
        std::wstring from = c.from + L"\\" + c.source;
        if (!CopyFileW(from.c_str(), CardProgram(c.target).c_str(), FALSE)) return fail(from);
    }
    return true;
}

// ---------------------------------------------------------- the channel file

const ChannelList& FactoryChannels()
{
    static const ChannelList list = {
        {L"\uD55C\uBE5B TV", L"\uB204\uB9AC DMB", L"City TV", L"\uBC14\uB2E4\uBC29\uC1A1", L"YTV \uB274\uC2A4",
         L"Sky 1"},
        {L"\uD55C\uBE5B FM", L"Classic 93", L"\uB204\uB9AC \uB77C\uB514\uC624", L"\uAD50\uD1B5\uC815\uBCF4",
         L"Jazz 24", L"\uB274\uC2A4 FM", L"Radio K", L"\uBC14\uB78C \uC74C\uC545", L"Pop One"},
    };
    // 한빛 TV, 누리 DMB, City TV, 바다방송, YTV 뉴스, Sky 1 /
    // 한빛 FM, Classic 93, 누리 라디오, 교통정보, Jazz 24, 뉴스 FM, Radio K, 바람 음악, Pop One
    return list;
}

const ChannelList& OnAirChannels()
{
    static const ChannelList list = [] {
        ChannelList l = FactoryChannels();
        l.tv.insert(l.tv.begin(), L"\uC0C8\uBE5B TV");               // 새빛 TV
        l.tv.push_back(L"\uC628\uB204\uB9AC \uAD50\uC721");          // 온누리 교육
        l.radio.push_back(L"\uBCC4\uBE5B FM");                       // 별빛 FM
        l.radio.push_back(L"Talk 7");
        l.radio.push_back(L"\uAD6D\uC545 \uCC44\uB110");             // 국악 채널
        return l;
    }();
    return list;
}

std::string ToDeviceBytes(const std::wstring& text)
{
    if (text.empty()) return {};
    int n = WideCharToMultiByte(949, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(949, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromDeviceBytes(const char* bytes, size_t maxLen)
{
    size_t len = 0;
    while (len < maxLen && bytes[len]) ++len;
    if (len == 0) return {};
    int n = MultiByteToWideChar(949, 0, bytes, static_cast<int>(len), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) MultiByteToWideChar(949, 0, bytes, static_cast<int>(len), &out[0], n);
    return out;
}

namespace {

// Cuts at a character boundary so that no half of a double-byte character is left behind.
std::string FitRecord(const std::wstring& name)
{
    std::wstring w = name;
    std::string bytes = ToDeviceBytes(w);
    while (bytes.size() > kRecordSize - 1 && !w.empty()) {
        w.pop_back();
        bytes = ToDeviceBytes(w);
    }
    return bytes;
}

void PutNames(std::vector<uint8_t>& img, size_t offset, const std::vector<std::wstring>& names, size_t max)
{
    for (size_t i = 0; i < names.size() && i < max; ++i) {
        std::string bytes = FitRecord(names[i]);
        std::copy(bytes.begin(), bytes.end(), img.begin() + offset + i * kRecordSize);
    }
}

}  // namespace

std::vector<uint8_t> ChannelFileImage(const ChannelList& list)
{
    std::vector<uint8_t> img(kChannelFileSize, 0);
    img[0] = static_cast<uint8_t>(std::min(list.tv.size(), kMaxTv));
    img[1] = static_cast<uint8_t>(std::min(list.radio.size(), kMaxRadio));
    PutNames(img, kTvOffset, list.tv, kMaxTv);
    PutNames(img, kRadioOffset, list.radio, kMaxRadio);
    return img;
}

bool WriteChannelFile(const ChannelList& list)
{
    if (!CreateFolderTree(AppDataFolder())) return false;
    std::vector<uint8_t> img = ChannelFileImage(list);
    // Written aside and moved into place, so a reader never finds half a file.
    std::wstring temp = ChannelFilePath() + L".new";
    HANDLE f = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(f, img.data(), static_cast<DWORD>(img.size()), &written, nullptr);
    CloseHandle(f);
    if (!ok || written != img.size()) return false;
    return MoveFileExW(temp.c_str(), ChannelFilePath().c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

namespace {

bool ReadImage(std::vector<uint8_t>& img)
{
    img.assign(kChannelFileSize, 0);
    HANDLE f = CreateFileW(ChannelFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD got = 0;
    BOOL ok = ReadFile(f, img.data(), static_cast<DWORD>(img.size()), &got, nullptr);
    DWORD size = GetFileSize(f, nullptr);
    CloseHandle(f);
    if (!ok) return false;
    img.resize(got);
    img.resize(kChannelFileSize, 0);
    return size != INVALID_FILE_SIZE;
}

}  // namespace

bool ReadChannelFile(ChannelList& list)
{
    std::vector<uint8_t> img;
    if (!ReadImage(img)) return false;
    list.tv.clear();
    list.radio.clear();
    size_t tv = std::min<size_t>(img[0], kMaxTv), radio = std::min<size_t>(img[1], kMaxRadio);
    for (size_t i = 0; i < tv; ++i)
        list.tv.push_back(FromDeviceBytes(reinterpret_cast<const char*>(&img[kTvOffset + i * kRecordSize]), kRecordSize));
    for (size_t i = 0; i < radio; ++i)
        list.radio.push_back(
            FromDeviceBytes(reinterpret_cast<const char*>(&img[kRadioOffset + i * kRecordSize]), kRecordSize));
    return true;
}

bool ChannelFileUsable()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ChannelFilePath().c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.nFileSizeHigh != 0 || data.nFileSizeLow != kChannelFileSize) return false;
    std::vector<uint8_t> img;
    return ReadImage(img) && img[0] <= kMaxTv && img[1] <= kMaxRadio && (img[0] || img[1]);
}

// ---------------------------------------------------------------- the store

const std::vector<StoreDefault>& StoreDefaults()
{
    static const std::vector<StoreDefault> values = {
        {L"Volume", 5},   {L"PIP", 2},    {L"DLS", 1},     {L"Contrast", 5}, {L"Bright", 7},
        {L"StartPRG", 0}, {L"FMTx", 881}, {L"ModeAct", 0}, {L"Dimmer", 0},
    };
    return values;
}

bool ReadStore(const wchar_t* name, DWORD& value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD v = 0, size = sizeof v, type = 0;
    LSTATUS r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || size != sizeof v) return false;
    value = v;
    return true;
}

bool WriteStore(const wchar_t* name, DWORD value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LSTATUS r = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

void EnsureStoreDefaults()
{
    for (const StoreDefault& d : StoreDefaults()) {
        DWORD present = 0;
        if (!ReadStore(d.name, present)) WriteStore(d.name, d.value);
    }
}

// ----------------------------------------------------- the receiver's state

bool WriteReceiverState(const ReceiverState& state)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kReceiverKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD band = static_cast<DWORD>(state.band), channel = static_cast<DWORD>(state.channel);
    bool ok = RegSetValueExW(key, L"Band", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&band), sizeof band) ==
                  ERROR_SUCCESS &&
              RegSetValueExW(key, L"Channel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&channel),
                             sizeof channel) == ERROR_SUCCESS &&
              RegSetValueExW(key, L"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(state.name.c_str()),
                             static_cast<DWORD>((state.name.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool ReadReceiverState(ReceiverState& state)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kReceiverKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD band = 0, channel = 0, size = sizeof band;
    bool ok = RegQueryValueExW(key, L"Band", nullptr, nullptr, reinterpret_cast<BYTE*>(&band), &size) ==
              ERROR_SUCCESS;
    size = sizeof channel;
    ok = ok && RegQueryValueExW(key, L"Channel", nullptr, nullptr, reinterpret_cast<BYTE*>(&channel), &size) ==
                   ERROR_SUCCESS;
    wchar_t name[128] = {};
    size = sizeof name - sizeof(wchar_t);
    ok = ok && RegQueryValueExW(key, L"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) ==
                   ERROR_SUCCESS;
    RegCloseKey(key);
    if (!ok) return false;
    state.band = static_cast<int>(band);
    state.channel = static_cast<int>(channel);
    state.name = name;
    return true;
}

// ---------------------------------------------------- the radio's text lines

std::vector<std::wstring> DabTexts(const std::wstring& channelName)
{
    // 지금 나오는 곡: 봄날의 산책 - 하늘빛 / 교통 정보: 시내 도로 원활 / 문자 참여 #1004
    return {
        channelName + L" \u00B7 \uC9C0\uAE08 \uB098\uC624\uB294 \uACE1: \uBD04\uB0A0\uC758 \uC0B0\uCC45 - "
                      L"\uD558\uB298\uBE5B",
        channelName + L" \u00B7 \uAD50\uD1B5 \uC815\uBCF4: \uC2DC\uB0B4 \uB3C4\uB85C \uC6D0\uD65C",
        channelName + L" \u00B7 \uBB38\uC790 \uCC38\uC5EC #1004",
    };
}

}  // namespace devworld

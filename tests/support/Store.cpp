// The registry store and the storage card, as the tests prepare them.
#include "DeviceTest.h"
#include "World.h"

#include <algorithm>
#include <cstring>

namespace devtest {

const wchar_t* const kStoreKey = L"software\\quelmar\\systemData";

namespace {

class Key {
public:
    explicit Key(bool create)
    {
        LSTATUS r = create ? RegCreateKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &m_h, nullptr)
                           : RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, KEY_ALL_ACCESS, &m_h);
        if (r != ERROR_SUCCESS) m_h = nullptr;
    }
    ~Key()
    {
        if (m_h) RegCloseKey(m_h);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return m_h; }

private:
    HKEY m_h = nullptr;
};

}  // namespace

bool StoreKeyExists() { return Key(false).get() != nullptr; }

bool DeleteStoreKey()
{
    LSTATUS r = RegDeleteTreeW(HKEY_CURRENT_USER, kStoreKey);
    if (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND) {
        r = RegDeleteKeyW(HKEY_CURRENT_USER, kStoreKey);
    }
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

bool WriteDword(const std::wstring& name, DWORD value)
{
    return WriteRaw(name, REG_DWORD, &value, sizeof value);
}

bool WriteRaw(const std::wstring& name, DWORD type, const void* data, DWORD size)
{
    Key key(true);
    return key.get() &&
           RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
}

std::optional<RawValue> ReadRaw(const std::wstring& name)
{
    Key key(false);
    if (!key.get()) return std::nullopt;
    RawValue v;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &v.type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    v.data.resize(size);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &v.type, size ? v.data.data() : nullptr,
                         &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    v.data.resize(size);
    return v;
}

std::optional<DWORD> ReadDword(const std::wstring& name)
{
    std::optional<RawValue> v = ReadRaw(name);
    if (!v || v->data.size() != sizeof(DWORD)) return std::nullopt;
    DWORD value = 0;
    memcpy(&value, v->data.data(), sizeof value);
    return value;
}

bool DeleteValue(const std::wstring& name)
{
    Key key(false);
    return key.get() && RegDeleteValueW(key.get(), name.c_str()) == ERROR_SUCCESS;
}

namespace {

// The outermost snapshot is also kept in the registry beside the store: a run that dies before
// putting the store back leaves it there, and the next run's first snapshot restores it.
const wchar_t* const kSavedStoreKey = L"software\\quelmar\\systemData.devtest-saved";
const wchar_t* const kAbsentMark = L"devtest: no key";
int g_storeDepth = 0;

std::vector<std::pair<std::wstring, RawValue>> ReadValues(HKEY key)
{
    std::vector<std::pair<std::wstring, RawValue>> out;
    for (DWORD i = 0; key; ++i) {
        wchar_t name[256];
        DWORD nameLen = 256, size = 0;
        RawValue v;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &v.type, nullptr, &size) != ERROR_SUCCESS) break;
        v.data.resize(size);
        nameLen = 256;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &v.type, size ? v.data.data() : nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        v.data.resize(size);
        out.emplace_back(std::wstring(name, nameLen), std::move(v));
    }
    return out;
}

void WriteValues(const wchar_t* path, const std::vector<std::pair<std::wstring, RawValue>>& values)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    for (const auto& nv : values)
        RegSetValueExW(key, nv.first.c_str(), 0, nv.second.type, nv.second.data.data(),
                       static_cast<DWORD>(nv.second.data.size()));
    RegCloseKey(key);
}

// Puts back the store a dead run saved, and forgets the saved copy.
void RecoverDeadRunStore()
{
    HKEY saved = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSavedStoreKey, 0, KEY_READ, &saved) != ERROR_SUCCESS) return;
    auto values = ReadValues(saved);
    RegCloseKey(saved);
    DeleteStoreKey();
    const bool absent = values.size() == 1 && values[0].first == kAbsentMark;
    if (!absent) WriteValues(kStoreKey, values);
    RegDeleteKeyW(HKEY_CURRENT_USER, kSavedStoreKey);
}

}  // namespace

StoreSnapshot::StoreSnapshot() : m_depth(++g_storeDepth)
{
    if (m_depth == 1) RecoverDeadRunStore();
    Key key(false);
    m_existed = key.get() != nullptr;
    m_values = ReadValues(key.get());
    if (m_depth != 1) return;
    RegDeleteKeyW(HKEY_CURRENT_USER, kSavedStoreKey);
    RawValue mark{REG_NONE, {}};
    WriteValues(kSavedStoreKey, m_existed ? m_values : decltype(m_values){{kAbsentMark, mark}});
}

StoreSnapshot::~StoreSnapshot()
{
    DeleteStoreKey();
    if (m_existed) WriteValues(kStoreKey, m_values);   // an empty key comes back empty
    if (m_depth == 1) RegDeleteKeyW(HKEY_CURRENT_USER, kSavedStoreKey);
    --g_storeDepth;
}

// ---------------------------------------------------------------- files

// The card's places and the folder tools are the device simulation's own.
std::wstring CardRoot() { return devworld::CardRoot(); }

std::wstring ChannelFilePath() { return devworld::ChannelFilePath(); }

std::vector<uint8_t> ChannelImage(uint8_t tvCount, uint8_t radioCount,
                                  const std::vector<std::string>& tvNames,
                                  const std::vector<std::string>& radioNames)
{
    std::vector<uint8_t> img(kChannelFileSize, 0);
    img[0] = tvCount;
    img[1] = radioCount;
    auto put = [&](const std::vector<std::string>& names, size_t offset, size_t max) {
        for (size_t i = 0; i < names.size() && i < max; ++i) {
            size_t n = std::min(names[i].size(), kNameSize);
            memcpy(&img[offset + i * kNameSize], names[i].data(), n);
        }
    };
    put(tvNames, kTvNamesOffset, 20);
    put(radioNames, kRadioNamesOffset, 80);
    return img;
}

bool WriteChannelFile(uint8_t tvCount, uint8_t radioCount, const std::vector<std::string>& tvNames,
                      const std::vector<std::string>& radioNames)
{
    return WriteChannelBytes(ChannelImage(tvCount, radioCount, tvNames, radioNames));
}

bool WriteChannelBytes(const std::vector<uint8_t>& bytes)
{
    return CreateFolders(CardRoot() + L"\\appdata") &&
           WriteFileBytes(ChannelFilePath(), bytes.data(), bytes.size());
}

std::string ToAnsi(const std::wstring& text, UINT codePage)
{
    int n = WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) {
        WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n,
                            nullptr, nullptr);
    }
    return out;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CreateFolders(const std::wstring& path) { return !path.empty() && devworld::CreateFolderTree(path); }

bool RemoveTree(const std::wstring& path) { return devworld::DeleteTree(path); }

bool WriteFileBytes(const std::wstring& path, const void* data, size_t size)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = size == 0 || WriteFile(f, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(f);
    return ok && written == size;
}

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::wstring& path)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<uint8_t> out;
    uint8_t buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) out.insert(out.end(), buf, buf + got);
    CloseHandle(f);
    return out;
}

bool CreateCardFolder() { return CreateFolders(CardRoot()); }

bool RemoveCardFolder() { return RemoveTree(CardRoot()); }

namespace {

// Each guard of a nest keeps the card it found in a slot of its own depth: the card folder moved
// aside, or a file that marks there was none. Slot 1 of a run that died holds the card from
// before that run; the next run's outermost guard puts it back and drops the deeper slots.
int g_cardDepth = 0;

std::wstring CardSlot(int depth)
{
    return CardRoot() + L".devtest-saved" + (depth == 1 ? L"" : L"." + std::to_wstring(depth));
}

void PutCardBack(const std::wstring& slot)
{
    const DWORD attr = GetFileAttributesW(slot.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return;
    RemoveCardFolder();
    if (attr & FILE_ATTRIBUTE_DIRECTORY) MoveFileW(slot.c_str(), CardRoot().c_str());
    else DeleteFileW(slot.c_str());
}

}  // namespace

CardGuard::CardGuard() : m_depth(++g_cardDepth)
{
    if (m_depth == 1) {
        PutCardBack(CardSlot(1));
        for (int d = 2; FileExists(CardSlot(d)); ++d) RemoveTree(CardSlot(d));
    }
    const std::wstring slot = CardSlot(m_depth);
    RemoveTree(slot);
    if (FileExists(CardRoot())) {
        // A card that cannot be moved aside is left alone rather than risked.
        m_saved = MoveFileW(CardRoot().c_str(), slot.c_str()) != 0;
    } else {
        m_saved = WriteFileBytes(slot, "", 0);
    }
}

CardGuard::~CardGuard()
{
    if (m_saved) PutCardBack(CardSlot(m_depth));
    --g_cardDepth;
}

}  // namespace devtest

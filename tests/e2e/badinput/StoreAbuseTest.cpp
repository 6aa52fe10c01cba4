// Settings store values of every registry type and every length, read by the viewer's and the
// panel's load routines and by the running programs; and the one write there is, which must not
// take any other setting with it.
#include <gtest/gtest.h>

#include <map>

#include "DeviceTest.h"
#include "SettingsStore.h"

using namespace devtest;

namespace {

struct Viewer {
    int m_nVolume = -77, m_nPipPos = -77, m_bDlsOn = -77;
};

struct Panel {
    int m_nContrast = -77, m_nBright = -77, m_nStartPrg = -77, m_nFmTx = -77, m_nModeAct = -77, m_nDimmer = -77;
};

const DWORD kTypes[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_LINK,
                        REG_MULTI_SZ, REG_RESOURCE_LIST, REG_FULL_RESOURCE_DESCRIPTOR,
                        REG_RESOURCE_REQUIREMENTS_LIST, REG_QWORD, 0x7FFFFFFF};
const DWORD kLengths[] = {0, 1, 2, 3, 4, 5, 6, 8, 12, 256, 65536};

// Bytes whose first four spell 2 (little-endian) and whose rest is not zero, so a read of more
// than four bytes, or of the wrong four, shows.
std::vector<BYTE> Pattern(DWORD length)
{
    std::vector<BYTE> b(length, 0x5A);
    const BYTE two[4] = {2, 0, 0, 0};
    for (DWORD i = 0; i < length && i < 4; ++i) b[i] = two[i];
    return b;
}

class StoreAbuse : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(DeleteStoreKey()); }
    StoreSnapshot saved;
};

// Exactly four bytes are a number, whatever the type says; any other length is no value at all,
// so the member keeps its default. The viewer's range rules then apply as to any number.
TEST_F(StoreAbuse, EveryTypeAndLengthLoadsAsANumberOrAsMissing)
{
    for (DWORD type : kTypes) {
        for (DWORD length : kLengths) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << length << " bytes");
            const std::vector<BYTE> data = Pattern(length);
            for (const wchar_t* name : {L"Volume", L"PIP", L"DLS", L"Contrast", L"Bright", L"StartPRG", L"FMTx",
                                        L"ModeAct", L"Dimmer"})
                ASSERT_TRUE(WriteRaw(name, type, data.data(), length));
            Viewer v;
            LoadVolume(v);
            LoadPipAndDls(v);
            Panel p;
            LoadPanelSettings(p);
            const bool number = length == 4;
            EXPECT_EQ(v.m_nVolume, number ? 2 : 0);
            EXPECT_EQ(v.m_nPipPos, number ? 2 : 0);
            EXPECT_EQ(v.m_bDlsOn, 1) << "2 is out of range, and missing is 1";
            EXPECT_EQ(p.m_nBright, number ? 2 : PANEL_DEFAULT_BRIGHT);
            EXPECT_EQ(p.m_nFmTx, number ? 2 : PANEL_DEFAULT_FMTX);
            EXPECT_EQ(p.m_nDimmer, number ? 2 : PANEL_DEFAULT_DIMMER);
            EXPECT_EQ(p.m_nContrast, number ? 2 : PANEL_DEFAULT_CONTRAST);
            EXPECT_EQ(p.m_nStartPrg, number ? 2 : PANEL_DEFAULT_STARTPRG);
            EXPECT_EQ(p.m_nModeAct, number ? 2 : PANEL_DEFAULT_MODEACT);
        }
    }
}

// The viewer writes "DLS" alone, as a 4-byte number, over whatever was there; every other value
// of the key, of whatever type and length, stays byte for byte as it was.
TEST_F(StoreAbuse, SavingDlsOverAnyTypeTouchesNothingElse)
{
    const wchar_t* others[] = {L"Volume", L"PIP", L"Contrast", L"Bright", L"StartPRG", L"FMTx", L"ModeAct", L"Dimmer"};
    for (DWORD type : kTypes) {
        for (DWORD length : {0u, 3u, 4u, 8u, 65536u}) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << length << " bytes");
            ASSERT_TRUE(DeleteStoreKey());
            std::map<std::wstring, RawValue> before;
            int k = 0;
            for (const wchar_t* name : others) {
                const DWORD t = kTypes[(k++ + type) % (sizeof kTypes / sizeof kTypes[0])];
                const std::vector<BYTE> data = Pattern(static_cast<DWORD>(k * 3));
                ASSERT_TRUE(WriteRaw(name, t, data.data(), static_cast<DWORD>(data.size())));
                before[name] = *ReadRaw(name);
            }
            const std::vector<BYTE> dls = Pattern(length);
            ASSERT_TRUE(WriteRaw(L"DLS", type, dls.data(), length));
            Viewer v;
            v.m_bDlsOn = 0;
            SaveDls(v);
            auto saved = ReadRaw(L"DLS");
            ASSERT_TRUE(saved.has_value());
            EXPECT_EQ(saved->type, static_cast<DWORD>(REG_DWORD));
            EXPECT_EQ(saved->data, (std::vector<BYTE>{0, 0, 0, 0}));
            for (const wchar_t* name : others) {
                auto after = ReadRaw(name);
                ASSERT_TRUE(after.has_value()) << "a setting went missing";
                EXPECT_EQ(after->type, before[name].type);
                EXPECT_EQ(after->data, before[name].data);
            }
        }
    }
}

// A key the user may read but not write (its access list allows reading only): the loads read
// it, the save writes nothing and says nothing, and the viewer's flag stays as it was.
TEST_F(StoreAbuse, AKeyThatCannotBeWrittenIsReadAndLeftAlone)
{
    ASSERT_TRUE(WriteDword(L"DLS", 0));
    ASSERT_TRUE(WriteDword(L"PIP", 1));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    // Everyone may read the key; nobody may set values or make subkeys.
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    BYTE aclBuf[256];
    auto* acl = reinterpret_cast<ACL*>(aclBuf);
    InitializeAcl(acl, sizeof aclBuf, ACL_REVISION);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC, everyone);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    const LONG set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    RegCloseKey(key);
    FreeSid(everyone);
    ASSERT_EQ(set, ERROR_SUCCESS);
    HKEY probe = nullptr;
    const bool enforced = RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, KEY_SET_VALUE, &probe) != ERROR_SUCCESS;
    if (probe) RegCloseKey(probe);

    Viewer v;
    LoadPipAndDls(v);
    EXPECT_EQ(v.m_nPipPos, 1);
    EXPECT_EQ(v.m_bDlsOn, 0);
    v.m_bDlsOn = 1;
    SaveDls(v);
    EXPECT_EQ(v.m_bDlsOn, 1);
    if (enforced) {
        HKEY readOnly = nullptr;
        DWORD dls = 99, size = sizeof dls;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, &readOnly), ERROR_SUCCESS);
        EXPECT_EQ(RegQueryValueExW(readOnly, L"DLS", nullptr, nullptr, reinterpret_cast<BYTE*>(&dls), &size), ERROR_SUCCESS);
        RegCloseKey(readOnly);
        EXPECT_EQ(dls, 0u) << "the save went through a key that forbids it";
    }

    // Writable again, so the snapshot can put the store back.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, WRITE_DAC, &key), ERROR_SUCCESS);
    SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    RegCloseKey(key);
    if (!enforced) GTEST_SKIP() << "this platform does not enforce a registry key's access list";
}

// The running programs over a store whose every value has the wrong type: they come up, act on
// their defaults, and of the store only "DLS" changes (the viewer stores its flag as a number).
TEST(StoreAbuseRunning, ProgramsOverAStoreOfWrongTypesActOnTheirDefaults)
{
    StoreSnapshot saved;
    CardGuard card;
    ASSERT_TRUE(DeleteStoreKey());
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\appdata"));
    ASSERT_TRUE(WriteChannelFile(3, 3, {"A", "B", "C"}, {"D", "E", "F"}));
    const wchar_t* names[] = {L"Volume", L"PIP", L"DLS", L"Contrast", L"Bright", L"StartPRG", L"FMTx", L"ModeAct", L"Dimmer"};
    int k = 0;
    for (const wchar_t* name : names) {
        const std::vector<BYTE> data = Pattern(static_cast<DWORD>(5 + k));
        ASSERT_TRUE(WriteRaw(name, kTypes[k++ % 12], data.data(), static_cast<DWORD>(data.size())));
    }
    std::map<std::wstring, RawValue> before;
    for (const wchar_t* name : names) before[name] = *ReadRaw(name);

    HostWindow host;
    Process viewer = Start(L"TVSCREEN.exe");
    HWND v = WaitForWindow(L"TVSCREEN", kHangMs, viewer.Id());
    ASSERT_NE(v, nullptr);
    Process panel = Start(L"PanelCfg.exe");
    HWND p = WaitForWindow(L"CONFIG", kHangMs, panel.Id());
    ASSERT_NE(p, nullptr);

    // The panel steps from its defaults: brightness 5, FM muted (875), dimmer "ON" (0).
    Tap(p, 359, 68);
    EXPECT_TRUE(host.WaitFor(42, 6));
    Tap(p, 359, 168);
    EXPECT_TRUE(host.WaitFor(41, 877));
    Tap(p, 359, 118);
    EXPECT_TRUE(host.WaitFor(5, 7));

    // The viewer's volume is 0 without a stored number: one step up is 1 and goes to the host.
    host.Broadcast(16, 58);
    ASSERT_TRUE(PollUntil([&] { return SameRect(WindowRect(v), 0, 0, 640, 480); }));
    EXPECT_TRUE(TapSending(host, v, 589, 213, 100, 11));   // refused until the windowed switch settled

    for (const wchar_t* name : names) {
        auto after = ReadRaw(name);
        ASSERT_TRUE(after.has_value()) << "a setting went missing";
        if (std::wstring(name) == L"DLS") {
            EXPECT_EQ(after->type, static_cast<DWORD>(REG_DWORD));
            EXPECT_EQ(after->data, (std::vector<BYTE>{1, 0, 0, 0}));
            continue;
        }
        EXPECT_EQ(after->type, before[name].type) << "changed: " << std::string(name, name + wcslen(name));
        EXPECT_EQ(after->data, before[name].data) << "changed: " << std::string(name, name + wcslen(name));
    }
    EXPECT_TRUE(viewer.Running());
    EXPECT_TRUE(panel.Running());
}

}  // namespace

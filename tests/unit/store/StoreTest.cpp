// The settings store routines against the real registry key.
#include "DeviceTest.h"
#include "RegistryImports.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>

using namespace devtest;

namespace {

const int kUnset = -77;

struct Viewer {
    int m_nVolume = kUnset;
    int m_nPipPos = kUnset;
    int m_bDlsOn = kUnset;
};

struct Panel {
    int m_nContrast = kUnset, m_nBright = kUnset, m_nStartPrg = kUnset;
    int m_nFmTx = kUnset, m_nModeAct = kUnset, m_nDimmer = kUnset;
    std::vector<int> Values() const { return {m_nContrast, m_nBright, m_nStartPrg, m_nFmTx, m_nModeAct, m_nDimmer}; }
};

const std::vector<int> kPanelDefaults = {5, 5, 0, 875, 0, 0};

class Store : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(DeleteStoreKey()); }
    StoreSnapshot saved;  // the key as it was before the test comes back afterwards
};

Viewer LoadViewer()
{
    Viewer v;
    LoadVolume(v);
    LoadPipAndDls(v);
    return v;
}

TEST_F(Store, AbsentKeyIsCreatedEmptyAndFirstSaveWritesDls)
{
    Viewer v = LoadViewer();
    EXPECT_EQ(v.m_nVolume, 0);
    EXPECT_EQ(v.m_nPipPos, 0);
    EXPECT_EQ(v.m_bDlsOn, 1);
    EXPECT_TRUE(StoreKeyExists());
    EXPECT_FALSE(ReadRaw(L"DLS").has_value());  // loading writes nothing

    ASSERT_TRUE(DeleteStoreKey());
    v.m_bDlsOn = 0;
    SaveDls(v);
    EXPECT_EQ(ReadDword(L"DLS"), 0u);
}

TEST_F(Store, ViewerRangesAtLoad)
{
    const struct { DWORD pip, dls; int pipLoaded, dlsLoaded; } cases[] = {
        {4, 2, 3, 1}, {DWORD(-1), DWORD(-1), 3, 1}, {2, 0, 2, 0}, {3, 1, 3, 1}, {0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        WriteDword(L"PIP", c.pip);
        WriteDword(L"DLS", c.dls);
        Viewer v = LoadViewer();
        EXPECT_EQ(v.m_nPipPos, c.pipLoaded) << "PIP " << int(c.pip);
        EXPECT_EQ(v.m_bDlsOn, c.dlsLoaded) << "DLS " << int(c.dls);
    }
    WriteDword(L"Volume", 25);
    EXPECT_EQ(LoadViewer().m_nVolume, 25);
}

TEST_F(Store, AnyTypeOfExactlyFourBytesIsANumberOtherSizesAreMissing)
{
    const BYTE le25[4] = {25, 0, 0, 0}, big[4] = {0, 0, 0, 2}, wide[8] = {};
    WriteRaw(L"Volume", REG_BINARY, le25, 4);
    WriteRaw(L"PIP", REG_SZ, L"\x0002\x0000", 4);
    WriteRaw(L"DLS", REG_DWORD_BIG_ENDIAN, big, 4);  // read little-endian: out of range
    Viewer v = LoadViewer();
    EXPECT_EQ(v.m_nVolume, 25);
    EXPECT_EQ(v.m_nPipPos, 2);
    EXPECT_EQ(v.m_bDlsOn, 1);

    WriteRaw(L"Volume", REG_BINARY, le25, 2);  // shorter: missing as well
    WriteRaw(L"PIP", REG_BINARY, big, 3);
    WriteRaw(L"DLS", REG_QWORD, wide, 8);
    v = LoadViewer();
    EXPECT_EQ(v.m_nVolume, 0);
    EXPECT_EQ(v.m_nPipPos, 0);
    EXPECT_EQ(v.m_bDlsOn, 1);
}

TEST_F(Store, SaveDlsReplacesAnotherTypeWithDword)
{
    WriteRaw(L"DLS", REG_SZ, L"yes", 8);
    Viewer v;
    v.m_bDlsOn = 1;
    SaveDls(v);
    auto raw = ReadRaw(L"DLS");
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(raw->type, DWORD(REG_DWORD));
    EXPECT_EQ(raw->data, (std::vector<BYTE>{1, 0, 0, 0}));
}

TEST_F(Store, PanelLoadsAsStoredAndFallsBackPerValue)
{
    Panel p;
    EXPECT_TRUE(LoadPanelSettings(p));
    EXPECT_EQ(p.Values(), kPanelDefaults);

    const wchar_t* names[] = {L"Contrast", L"Bright", L"StartPRG", L"FMTx", L"ModeAct", L"Dimmer"};
    const DWORD stored[] = {3, 15, 7, 0, DWORD(-4), 2};  // no range check at load
    for (int i = 0; i < 6; ++i) WriteDword(names[i], stored[i]);
    LoadPanelSettings(p);
    EXPECT_EQ(p.Values(), (std::vector<int>{3, 15, 7, 0, -4, 2}));

    const BYTE wide[6] = {1, 0, 0, 0, 0, 0};
    DeleteValue(L"Contrast");
    WriteRaw(L"FMTx", REG_BINARY, wide, 6);
    WriteRaw(L"Dimmer", REG_BINARY, wide, 1);
    LoadPanelSettings(p);
    EXPECT_EQ(p.Values(), (std::vector<int>{5, 15, 7, 875, -4, 0}));
}

TEST_F(Store, KeyAccessAndCallShapes)
{
    const BYTE wide[8] = {};
    WriteRaw(L"Bright", REG_BINARY, wide, 8);  // a failed read must not shrink the next buffer
    Viewer v;
    Panel p;
    RegistryImports rec;
    ASSERT_TRUE(rec.Installed());
    LoadVolume(v);
    LoadPipAndDls(v);
    LoadPanelSettings(p);
    SaveDls(v);
    const std::vector<std::pair<std::string, std::wstring>> expected = {
        {"create", kStoreKeyPath}, {"query", L"Volume"}, {"close", L""},
        {"create", kStoreKeyPath}, {"query", L"PIP"}, {"query", L"DLS"}, {"close", L""},
        {"create", kStoreKeyPath}, {"query", L"Contrast"}, {"query", L"Bright"}, {"query", L"StartPRG"},
        {"query", L"FMTx"}, {"query", L"ModeAct"}, {"query", L"Dimmer"}, {"close", L""},
        {"open", kStoreKeyPath}, {"set", L"DLS"}, {"close", L""},
    };
    ASSERT_EQ(rec.calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const RegCall& c = rec.calls[i];
        SCOPED_TRACE(testing::Message() << "call " << i << " " << c.fn);
        EXPECT_EQ(c.fn, expected[i].first);
        EXPECT_EQ(c.name, expected[i].second);
        EXPECT_TRUE(c.standardArgs);
        if (c.fn == "create") EXPECT_EQ(c.sam, REGSAM(0x20019));
        if (c.fn == "open") EXPECT_EQ(c.sam, REGSAM(0xF003F));
        if (c.fn == "query" || c.fn == "set") EXPECT_EQ(c.size, 4u);
        if (c.fn == "set") EXPECT_EQ(c.type, DWORD(REG_DWORD));
    }
    EXPECT_EQ(rec.openKeys, 0);
}

TEST_F(Store, UnreachableKeyLeavesDefaultsAndWritesNothing)
{
    WriteDword(L"Volume", 4);
    WriteDword(L"PIP", 1);
    WriteDword(L"DLS", 0);
    WriteDword(L"Bright", 9);
    Viewer v;
    Panel p;
    {
        RegistryImports rec;
        rec.failCreate = rec.failOpen = true;
        v = LoadViewer();
        LoadPanelSettings(p);
        SaveDls(v);  // tries to write the default 1 over the stored 0
        ASSERT_EQ(rec.calls.size(), 5u);  // three loads, then SaveDls opens and creates
        EXPECT_EQ(rec.calls[3].fn, "open");
        EXPECT_EQ(rec.calls[4].fn, "create");
        EXPECT_EQ(rec.calls[4].sam, REGSAM(0xF003F));
        EXPECT_EQ(rec.openKeys, 0);
    }
    EXPECT_EQ(v.m_nVolume, 0);
    EXPECT_EQ(v.m_nPipPos, 0);
    EXPECT_EQ(v.m_bDlsOn, 1);
    EXPECT_EQ(p.Values(), kPanelDefaults);
    EXPECT_EQ(ReadDword(L"DLS"), 0u);
}

}  // namespace

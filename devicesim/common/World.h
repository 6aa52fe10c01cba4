// The device around the programs: its storage card, its channel file, its settings store, the
// receiver's state as the display shows it, and the codes the simulated main menu speaks.
// Shared by the host service, the main menu, the tour and the device's scenario tests.
#pragma once

#include <windows.h>

#include "HangLimit.h"

#include <cstdint>
#include <string>
#include <vector>

namespace devworld {

// ------------------------------------------------------------------ the card

// The card as the programs see it under Wine, where the device's root is drive C:.
std::wstring CardRoot();        // C:\기억 장치 카드
std::wstring AppFolder();       // CardRoot()\app
std::wstring AppDataFolder();   // CardRoot()\appdata
std::wstring ChannelFilePath(); // CardRoot()\appdata\SERIALData.dat
std::wstring CardProgram(const wchar_t* exeName);  // AppFolder()\exeName

// File names of the programs on the card.
extern const wchar_t kViewerExe[];     // TVSCREEN.exe
extern const wchar_t kPanelExe[];      // PanelCfg.exe
extern const wchar_t kSettingsExe[];   // setting.exe: the panel under the name the viewer starts
extern const wchar_t kGpsExe[];        // SatWake.exe
extern const wchar_t kBlankExe[];      // DarkPane.exe
extern const wchar_t kKickoffExe[];    // Kickoff.exe
extern const wchar_t kMainMenuExe[];   // main.exe

// Copies the five deliverables (from deliverablesDir) and the main menu (from simDir) onto the
// card, the panel twice (as itself and as the settings program), and creates the folders.
// Returns false when a folder cannot be made or a file cannot be copied; what names it failed
// on goes into *failed when given.
bool InstallCard(const std::wstring& deliverablesDir, const std::wstring& simDir,
                 std::wstring* failed = nullptr);

bool CreateFolderTree(const std::wstring& path);
bool DeleteTree(const std::wstring& path);
bool PathExists(const std::wstring& path);

// ---------------------------------------------------------- the channel file

constexpr size_t kChannelFileSize = 3204;
constexpr size_t kTvOffset = 4;
constexpr size_t kRadioOffset = 644;
constexpr size_t kRecordSize = 32;
constexpr size_t kMaxTv = 20;
constexpr size_t kMaxRadio = 80;

constexpr int kBandTv = 1;
constexpr int kBandRadio = 2;

struct ChannelList {
    std::vector<std::wstring> tv;
    std::vector<std::wstring> radio;
    const std::vector<std::wstring>& Band(int band) const { return band == kBandRadio ? radio : tv; }
};

// What the receiver knew when the device left the factory, and what is on the air: a search
// finds more channels than the first list holds, one of them ahead of the old first TV channel.
const ChannelList& FactoryChannels();
const ChannelList& OnAirChannels();

// The file image: counts in bytes 0 and 1, names in the device's 8-bit code page (949), each
// cut to 31 bytes so that its record keeps a closing zero.
std::vector<uint8_t> ChannelFileImage(const ChannelList& list);
bool WriteChannelFile(const ChannelList& list);
// Reads the file back (a short file reads as far as it goes); false when it cannot be opened.
bool ReadChannelFile(ChannelList& list);
// True when the file holds a full image whose counts fit the layout.
bool ChannelFileUsable();

std::string ToDeviceBytes(const std::wstring& text);    // code page 949
std::wstring FromDeviceBytes(const char* bytes, size_t maxLen);

// ---------------------------------------------------------------- the store

extern const wchar_t kStoreKey[];   // HKEY_CURRENT_USER software\quelmar\systemData

bool ReadStore(const wchar_t* name, DWORD& value);
bool WriteStore(const wchar_t* name, DWORD value);
// Writes the values a new device holds, leaving every value already present as it is.
void EnsureStoreDefaults();

struct StoreDefault {
    const wchar_t* name;
    DWORD value;
};
const std::vector<StoreDefault>& StoreDefaults();

// ----------------------------------------------------- the receiver's state

// Read by the simulated display's test picture: band 1/2, channel number (1-based), name.
extern const wchar_t kReceiverKey[];   // HKEY_CURRENT_USER Software\devicesim\receiver

struct ReceiverState {
    int band = 0;
    int channel = 0;      // 1-based number as the picture shows it
    std::wstring name;
};
bool WriteReceiverState(const ReceiverState& state);
bool ReadReceiverState(ReceiverState& state);

// ---------------------------------------------------- the radio's text lines

// The DAB text lines a radio channel carries in turn; never empty.
std::vector<std::wstring> DabTexts(const std::wstring& channelName);

// -------------------------------------------------- the main menu's requests

// The main menu asks the host over "HL_SOFTKEY" with a code of its own, which neither the viewer
// nor the panel acts on.
constexpr int kMenuRequest = 200;
enum MenuItem : int {
    MENU_TV = 1,
    MENU_RADIO = 2,
    MENU_SETTINGS = 3,
    MENU_GPS = 4,
    MENU_BLANK = 5,
};

// What the host tells the panel (code 45) when something else must come to the front.
enum PanelToBack : int {
    TOBACK_VIEWER = 5,     // the viewer's picture
    TOBACK_BLANK = 6,      // the blank screen
    TOBACK_OTHER = 8,      // another program (GPS wake-up)
};

// Window titles and classes of the device's own windows.
extern const wchar_t kViewerTitle[];    // TVSCREEN
extern const wchar_t kPanelTitle[];     // CONFIG
extern const wchar_t kMenuTitle[];      // 기본메뉴
extern const wchar_t kMenuClass[];
extern const wchar_t kHostTitle[];
extern const wchar_t kHostClass[];

extern const wchar_t kSoftKeyName[];    // HL_SOFTKEY

// The viewer takes its title "TVSCREEN" when its message loop first pre-translates a message; a
// viewer parked since its start may not have had one yet. Posting a WM_NULL to every top-level
// window gives it one, so that it can be found by its title a moment later.
void NudgeWindows();
HWND FindViewer();          // by title, not its message boxes; nudges the windows when there is none yet
bool ViewerRunning();       // its single-instance guard exists

}  // namespace devworld

// Waits for the storage card and starts the device's main menu program from it, then ends.
#ifndef KICKOFF_KICKOFFAPP_H
#define KICKOFF_KICKOFFAPP_H

#include <afxwin.h>

class CKickoffApp : public CWinApp {
public:
    CKickoffApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override;
    void LaunchMainMenu();

    PROCESS_INFORMATION m_processInfo = {};
};

#endif

// The viewer's application object: one instance per device under the name "TVSCREEN".
#include "Frame.h"
#include "TvScreenDlg.h"

class CTvScreenApp : public CWinApp {
public:
    CTvScreenApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override { return RunGuardedDialog<CTvScreenDlg>(*this, L"TVSCREEN"); }
};

CTvScreenApp theApp;

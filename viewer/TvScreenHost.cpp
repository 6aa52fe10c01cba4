// Host commands and the DAB text. (Interim: the protocol arrives with the host work.)
#include "TvScreenDlg.h"

LRESULT CTvScreenDlg::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CDialog::DefWindowProc(message, wParam, lParam);
}

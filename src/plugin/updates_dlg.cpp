#include "plugin/updates_dlg.h"

#include "base/format.h"
#include "plugin/control_block.h"

namespace kovo {

bool CUpdatesDlg::Create() {
  if (!m_view) m_view = m_cb.Views().CreateUpdatesDialog(*this);
  if (m_view) m_view->SetTitle(m_title);
  return m_view != nullptr;
}

bool CUpdatesDlg::IsButtonEnabled(int id) const {
  if (id == kUpdatesRunNow || id == kUpdatesRunOnExit) return !buttonsDisabled;
  return true;
}

void CUpdatesDlg::Show() {
  if (!m_view) return;
  m_view->Refresh();
  m_view->Show(true, View::Centre::kScreen);
  m_view->BringToFront();
}

void CUpdatesDlg::OnRunNow() {
  const int error = m_cb.Processes().Start(installerPath, arguments);
  if (error == 0) {
    OnClose();
  } else {
    m_cb.MessageBox(Format("KovoTraderAutoInstaller can not start due to errorcode %d", error));
  }
}

void CUpdatesDlg::OnRunOnExit() {
  m_cb.session.installerPath = installerPath;
  m_cb.session.installerCommandLine = commandLine;
  m_cb.session.installerArguments = arguments;
  OnClose();
}

void CUpdatesDlg::OnClose() {
  if (m_view) m_view->Show(false);
}

}  // namespace kovo

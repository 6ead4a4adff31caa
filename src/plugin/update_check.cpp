// The update check: asking the back end for a newer version and offering
// its installer.
#include <filesystem>
#include <vector>

#include "base/format.h"
#include "plugin/control_block.h"
#include "plugin/field_reader.h"
#include "plugin/login_dlg.h"
#include "plugin/mnm_fields.h"
#include "plugin/plugin_info.h"
#include "plugin/updates_dlg.h"
#include "plugin/zint_plugin.h"

namespace kovo {
namespace {

constexpr const char* kVersionIni = "UpdateVersion.ini";
// The installer beside the host program.
constexpr const char* kInstallerName = "KovoTraderAutoInstaller";

std::string Text(const wmp_msg* message, int32_t field, int32_t index = 0) {
  std::string value;
  int status = 0;
  ReadText(message, field, index, value, status);
  return value;
}

}  // namespace

int32_t CZintPlugin::RunUpdateCheck() {
  if (!EnsureControlBlock()) return 0;
  CControlBlock& cb = *m_controlBlock;
  std::string patch;
  if (!cb.Settings().Read("PATCH_NO", "VALUE", patch, kVersionIni, SettingsLocation::kUserFolder)) {
    patch = "0";
  }
  if (cb.updatesDlg && cb.updatesDlg->HasWindow()) {
    manualUpdateCheck = false;
    return 0;
  }
  if (!cb.HasMessaging()) {
    ShowMessage("Connection to KovoZint is not yet established, Please wait");
    return 0;
  }
  int32_t error = 0;
  cb.Scratch()->fill_length = 0;
  if (!wmp_start_msg(cb.Builder(), cb.Scratch(), &error)) {
    cb.Report("wmp_start_msg failed while sending check for updates request", kReportError);
    return 0;
  }
  std::vector<std::pair<int32_t, std::string>> fields = {{MNM_REQUEST, "zint_check_updates"},
                                                         {MNM_PRODUCT_ID, kProductId},
                                                         {MNM_VERSION, kPluginVersion},
                                                         {MNM_VERSION, patch}};
  if (const auto local = cb.Net().LocalAddress()) {
    fields.emplace_back(MNM_USER_IP_ADDRESS, *local);
    if (const auto hardware = LocalHardwareAddress(cb, *local)) {
      fields.emplace_back(MNM_USER_MAC_ADDRESS, *hardware);
    }
  }
  fields.emplace_back(MNM_PROC_ID, cb.session.nameText + "_INT");
  for (const auto& [id, value] : fields) {
    const wmp_value data{value.data(), static_cast<int64_t>(value.size())};
    if (wmp_add_data(cb.Builder(), id, 1, &data, &error)) continue;
    const char* name = id == MNM_REQUEST            ? "MNM_REQUEST"
                       : id == MNM_PRODUCT_ID       ? "MNM_PRODUCT_ID"
                       : id == MNM_VERSION          ? "MNM_VERSION"
                       : id == MNM_USER_IP_ADDRESS  ? "MNM_USER_IP_ADDRESS"
                       : id == MNM_USER_MAC_ADDRESS ? "MNM_USER_MAC_ADDRESS"
                                                    : "MNM_PROC_ID";
    cb.Report(Format("wmp_add_data failed while adding %s in check for updates request", name),
              kReportError);
    return 0;
  }
  KovoRxControl* control = cb.RequestControl();
  if (!control || !control->ops->send(control, nullptr, cb.Builder(), 0, &error)) {
    cb.Report("sending check for updates request is failed", kReportError);
    return 0;
  }
  cb.Report("check for updates request sent", kReportMessage);
  return 1;
}

void CZintPlugin::OnUpdateReply(const wmp_msg* message) {
  if (!m_controlBlock) return;
  CControlBlock& cb = *m_controlBlock;
  const bool manual = manualUpdateCheck;
  manualUpdateCheck = false;
  if (cb.ReportFailedReply("zint_check_updates", message)) return;
  if (FieldCount(message, MNM_MESSAGE_TEXT) < 1) return;
  CUpdatesDlg& dialog = *cb.updatesDlg;
  dialog.message = Text(message, MNM_MESSAGE_TEXT, 0);
  if (FieldCount(message, MNM_MESSAGE_TEXT) >= 2) {
    const std::string address = Text(message, MNM_MESSAGE_TEXT, 1);
    cb.Settings().Write("PATCH_NO", "VALUE", Text(message, MNM_VERSION), kVersionIni,
                        SettingsLocation::kUserFolder);
    const std::filesystem::path hostFolder = cb.Settings().HostFolder();
    const std::filesystem::path installer = hostFolder / kInstallerName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(installer, ec)) return;
    const std::string arguments = Text(message, MNM_FIELD_49033);
    if (Text(message, MNM_USER).empty() || Text(message, 30004).empty() || arguments.empty() ||
        address.empty()) {
      return;
    }
    cb.Report(dialog.message, kReportMessage);
    const size_t slash = address.rfind('/');
    const std::string fileName = slash == std::string::npos ? address : address.substr(slash + 1);
    // The name becomes a path under the download folder: one that names a
    // folder (or its parent) would hand the installer a directory to overwrite.
    if (fileName.empty() || fileName == "." || fileName == "..") {
      cb.Report("update offer has no file name to download to: " + address, kReportError);
      return;
    }
    for (const std::filesystem::path& folder :
         {hostFolder / "Download", hostFolder / "Download" / "Zint"}) {
      if (std::filesystem::is_directory(folder, ec)) continue;
      if (!std::filesystem::create_directory(folder, ec)) {
        ShowMessage(Format("%s Directory could not be created while downloading zint updates",
                           folder.string().c_str()));
      }
    }
    const std::string localFile = (hostFolder / "Download" / "Zint" / fileName).string();
    dialog.installerPath = installer.string();
    dialog.arguments = {"KovoZint", "KovoZint", address, localFile, arguments};
    dialog.commandLine =
        Format("\"%s\" \"KovoZint\" \"%s\" \"%s\" \"%s\" \"%s\"", dialog.installerPath.c_str(),
               "KovoZint", address.c_str(), localFile.c_str(), arguments.c_str());
    if (!dialog.HasWindow()) dialog.Create();
    dialog.buttonsDisabled = false;
    dialog.Show();
    return;
  }
  if (manual) {
    if (!dialog.HasWindow()) dialog.Create();
    dialog.buttonsDisabled = true;
    dialog.Show();
  }
  cb.Report(dialog.message, kReportMessage);
}

}  // namespace kovo

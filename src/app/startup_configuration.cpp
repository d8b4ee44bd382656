#include "app/startup_configuration.h"

#include "platform/file_paths.h"
#include "script/storage_manager.h"

namespace tolvek {

std::string MainConfigurationName(const TCommandLine& commandLine) {
  std::string fileName = commandLine.HasSwitch("INIFile") ? commandLine.SwitchValue("INIFile")
                                                          : std::string("Halvic.ini");
  return "archive://Archives\\Config\\" + fileName;
}

void ReadStartupConfiguration(TStorageManager& storage, const TCommandLine& commandLine,
                              const std::string& installDir, TStartupConfiguration& config) {
  config.InstallDir = installDir;
  config.StartDir = CurrentDir();
  config.ProgramRegistry.LoadFromStorage(storage, MainConfigurationName(commandLine));
  config.ViewInfo = config.ProgramRegistry.GetDirKey("ViewInfo");
  config.AutoLogin = config.ProgramRegistry.GetDirKey("AUTOLOGIN");
  config.ViewRegistry.LoadFromStorage(storage, installDir + "ViewConfig.ini");
  config.ViewConfig = config.ViewRegistry.GetDirKey("ViewConfig");
}

}  // namespace tolvek

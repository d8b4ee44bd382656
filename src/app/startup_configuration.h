// Reading the two configuration files at start-up: the main configuration from the archive
// "Archives\Config\" (Halvic.ini unless -INIFile names another) and ViewConfig.ini from the
// installation directory, with the sections the program keeps open.
#pragma once

#include <string>

#include "app/command_line.h"
#include "app/program_registry.h"
#include "script/ref_obj.h"
#include "script/sl_dictionary.h"

namespace tolvek {

class TStorageManager;

struct TStartupConfiguration {
  std::string InstallDir;  // with a trailing separator
  std::string StartDir;    // the current directory at start, with a trailing separator
  TProgramRegistry ProgramRegistry;
  TProgramRegistry ViewRegistry;
  TRef<TSLDictionary> ViewInfo;
  TRef<TSLDictionary> AutoLogin;
  TRef<TSLDictionary> ViewConfig;
};

// The storage name of the main configuration file for the command line.
std::string MainConfigurationName(const TCommandLine& commandLine);

// Reads both files and keeps the sections "ViewInfo", "AUTOLOGIN" and "ViewConfig". Failures
// (a missing file or section) pass on with their texts, for the caller to show.
void ReadStartupConfiguration(TStorageManager& storage, const TCommandLine& commandLine,
                              const std::string& installDir, TStartupConfiguration& config);

}  // namespace tolvek

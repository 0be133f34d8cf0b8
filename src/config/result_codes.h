// Every result code of the program, in one place. Stages answer these;
// some become the process exit code (see the README's table). Codes returned
// by plug-in modules share this number space and pass through unchanged.
// Never reuse a number.
#pragma once

namespace bu {

constexpr int kResultSuccess = 0;
constexpr int kResultConfigNotLoaded = 101;     // buConfig.xml missing or not well-formed
constexpr int kResultConfigLoaded = 102;        // internal: loaded, the check goes on
constexpr int kResultConfigNoRoot = 103;        // no element at top level
constexpr int kResultNotAuthorized = 104;       // the authorization module said no
constexpr int kResultAuthLoadFailed = 107;      // authorization module failed to load
constexpr int kResultAuthInterface = 108;       // authorization module interface error
constexpr int kResultArchiveOpenFailed = 109;   // RAR archive failed to open
constexpr int kResultExtractionFailed = 110;    // extraction from the archive failed
constexpr int kResultUnrarLoadFailed = 111;     // unrar.dll signed but not loadable
constexpr int kResultInvalidArguments = 112;    // invalid command line
constexpr int kResultHelpShown = 113;           // /? shown
constexpr int kResultNotConfirmed = 115;        // full deployment not confirmed
constexpr int kResultUpdateUnavailable = 116;   // /extract: no such update, or all failed
constexpr int kResultAuthNotSigned = 117;       // authorization module not signed
constexpr int kResultUnrarNotSigned = 118;      // unrar.dll not signed or absent
constexpr int kResultDeployNotSigned = 119;     // deployment module not signed
constexpr int kResultDeployLoadFailed = 120;    // deployment module failed to load
constexpr int kResultDeployInterface = 121;     // deployment module interface error
constexpr int kResultSomeFailed = 122;          // incomplete product / some entries failed
constexpr int kResultNoneDeployed = 124;        // 64-bit hand-over failed / nothing deployed
constexpr int kResultOemMismatch = 125;         // /tvxoem and run-oem-only disagree
constexpr int kResultManifestRefused = 126;     // the package manifest is invalid, or required and absent

}  // namespace bu

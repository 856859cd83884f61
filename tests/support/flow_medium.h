// A scratch medium with the Glue's registry results of a driver install, and runs of the real
// PDI on it with tracing on: what the log viewer's tests explain. Real HKLM keys and the
// Glue's fixed object names: a test that uses it takes the machine lock.
#ifndef TESTS_SUPPORT_FLOW_MEDIUM_H
#define TESTS_SUPPORT_FLOW_MEDIUM_H

#include <windows.h>

#include <map>
#include <string>

#include "support/medium.h"
#include "support/pdi_process.h"
#include "vx_owners.h"

namespace vxtest
{

// The flow tests' medium: its driver and printer, its one model (after which the Glue's
// per-model key is named) and its information file, with sExtra among the Version keys.
extern const char kFlowDriver[];
extern const char kFlowPrinter[];
extern const char kFlowModels[];
extern const char kFlowModelKey[];
std::string FlowAutorun(const std::string& sExtra);
// Removes what a flow run leaves in HKLM: the Glue's keys, the product's and the uninstall entry
// (in both registry views on 64-bit Windows).
void CleanFlowMachineState();

class FlowMedium
{
public:
    // The medium with one patch and the installer, sAutorunExtra among the Version keys; the
    // Glue's events held as the Glue holds them when it starts the PDI.
    explicit FlowMedium(const std::string& sAutorunExtra = "SilentInstall=Yes\r\n");
    ~FlowMedium();

    // The values the Glue leaves for the PDI: Glue folder, printer name, status, uninstall entry;
    // samView: the registry view they are written in on 64-bit Windows (0: this program's own).
    bool RecordGlueInstall(bool fStatusCode = true, REGSAM samView = 0);
    bool SetGluePath(const std::string& sPath);

    // The PDI's command line, by default with tracing of every category the viewer reads.
    std::string Command(const std::string& sOptions = "-log 0xaf ") const;
    std::map<std::string, std::string> Environment(const std::map<std::string, std::string>& extra = {}) const;
    // Runs the PDI to its end as the given release, traced.
    ProcessResult Run(const std::map<std::string, std::string>& extra = {}, DWORD dwTimeoutMs = 120000,
                      const std::string& sRelease = "winxp");
    ProcessResult RunAs(const std::string& sRelease, const std::string& sOptions,
                        const std::map<std::string, std::string>& extra, DWORD dwTimeoutMs);

    std::string InstallLogPath() const { return m_medium.TempFolder() + "\\vxvxdi00.log"; }
    std::string TracePath() const { return m_medium.TempFolder() + "\\vxfpdi000.log"; }
    const ScratchMedium& Medium() const { return m_medium; }
    ScratchMedium& Medium() { return m_medium; }
    // The Glue's events: it has run, the driver is installed, it has finished.
    CUniqueHandle& GlueRan() { return m_ran; }
    CUniqueHandle& GlueInstalledDriver() { return m_installed; }
    CUniqueHandle& GlueFinished() { return m_finished; }

private:
    FlowMedium(const FlowMedium&);
    FlowMedium& operator=(const FlowMedium&);
    ScratchMedium m_medium;
    CUniqueHandle m_ran, m_installed, m_finished;
};

// Waits until the file holds sText (a trace the PDI is still writing); false after dwTimeoutMs.
bool WaitForText(const std::string& sPath, const std::string& sText, DWORD dwTimeoutMs);

}  // namespace vxtest

#endif

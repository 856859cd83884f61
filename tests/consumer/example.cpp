// Looks a model up in a device data file, then lists the installed printers with the model
// the database gives each of them.
//   vxinfra_example <data file> <model or printer name>
#include <cstdio>

#include "infrastructure/error_codes.h"
#include "infrastructure/factory.h"
#include "infrastructure/os_version.h"
#include "infrastructure/spooler_enum.h"

static unsigned int ShowPrinter(CPrinter& printer, void*, void*, void*)
{
    const char* pszModel = printer.IsDeviceSupported() ? printer.GetModelName() : "no model";
    std::printf("  %s on %s: %s\n", printer.GetATemporalFriendlyNamePtr(), printer.GetATemporalPortNamePtr(),
                pszModel);
    return 1;  // go on with the next printer
}

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::printf("usage: vxinfra_example <data file> <model or printer name>\n");
        return 2;
    }
    std::printf("Windows: %s\n", GetOSName().c_str());

    // The process-wide database, which CPrinter asks too. The data file names the model files;
    // every model of them is loaded.
    g_Factory.Init(argv[1], FACTORY_LOAD_MODELS);
    std::printf("%u models\n", static_cast<unsigned>(g_Factory.GetModelList().size()));

    // An exact model name, else the first model whose driver name occurs in the name.
    const CDeviceModel& model = g_Factory.FactorADeviceModel(argv[2]);
    if (!model.IsSupported())
    {
        std::printf("%s: %s\n", argv[2], GetErrorString(ERR_PRINTERNOTSUPPORTED));
        return 1;
    }
    std::printf("%s: driver \"%s\", USB id %s, %s\n", argv[2], model.GetDriverName(), model.GetUsbID(),
                model.HasPML() ? "speaks PML" : "no PML");

    std::printf("Printers:\n");
    if (!ForAllPrinters(ShowPrinter, NULL, NULL, NULL, NULL, 0))
    {
        std::printf("the spooler's list: %s", GetErrorString(static_cast<LONG>(GetLastError())));
        return 1;
    }
    return 0;
}

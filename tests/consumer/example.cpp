// Looks a printer model up in a device data file and prints what the database knows of it.
//   vxinfra_example <data file> <model or printer name>
#include <cstdio>

#include "infrastructure/error_codes.h"
#include "infrastructure/factory.h"
#include "infrastructure/os_version.h"

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::printf("usage: vxinfra_example <data file> <model or printer name>\n");
        return 2;
    }
    std::printf("Windows: %s\n", GetOSName().c_str());

    // The data file names the model files; every model of them is loaded.
    CFactory factory(argv[1], FACTORY_LOAD_MODELS);
    std::printf("%u models\n", static_cast<unsigned>(factory.GetModelList().size()));

    // An exact model name, else the first model whose driver name occurs in the name.
    const CDeviceModel& model = factory.FactorADeviceModel(argv[2]);
    if (!model.IsSupported())
    {
        std::printf("%s: %s\n", argv[2], GetErrorString(ERR_PRINTERNOTSUPPORTED));
        return 1;
    }
    std::printf("%s: driver \"%s\", USB id %s, %s\n", argv[2], model.GetDriverName(), model.GetUsbID(),
                model.HasPML() ? "speaks PML" : "no PML");
    return 0;
}

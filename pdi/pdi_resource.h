// Resource identifiers of the PDI.
#ifndef PDI_PDI_RESOURCE_H
#define PDI_PDI_RESOURCE_H

#define IDS_ASK_TO_MAKE_DEFAULT_PRINTER 1
#define IDS_SET_DEFAULT_PRINTER 2

#endif

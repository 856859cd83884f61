// Export decoration of the infrastructure library's classes and free functions.
#ifndef INFRASTRUCTURE_VXINFRA_API_H
#define INFRASTRUCTURE_VXINFRA_API_H

#if defined(VXINFRA_STATIC)
#define VXINFRA_API
#elif defined(VXINFRA_BUILDING)
#define VXINFRA_API __declspec(dllexport)
#else
#define VXINFRA_API __declspec(dllimport)
#endif

#endif

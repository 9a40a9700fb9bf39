#include "disk/scan_services.h"

namespace quorvane {
namespace {

TScanServices inertServices;
TScanServices* current = &inertServices;

}  // namespace

TScanServices& FrmFATScan() { return *current; }

void SetScanServices(TScanServices* services) {
    inertServices = TScanServices{};
    current = services != nullptr ? services : &inertServices;
}

}  // namespace quorvane

// The catalog of virtual-machine detection methods: what is known from
// practice and research, how far this program implements each method, and
// which probes answer it. It runs nothing itself; each row's status is read
// from the related probes after scoring.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vm/vm_model.h"

namespace vorq {

namespace table {
inline constexpr char kVmCatalogMethods[] = "vm.catalog.methods";
inline constexpr char kVmCatalogRejected[] = "vm.catalog.rejected";
}  // namespace table

enum ImplementationState : int32_t {
    kImplemented = 0,
    kPartial = 1,
    kResearch = 2,
    kNeedsKernelDriver = 3,
    kNeedsAttestationServer = 4,
    kNeedsManagedDevice = 5,
    kNeedsLabProfile = 6,
    kNotEnabled = 7,
};

struct CatalogEntry {
    int32_t id;
    const char* area;
    const char* title;
    const char* method;
    const char* related;  // probe ids separated by ',' without blanks
    int32_t state;
    const char* caveat;
    const char* reference;  // empty when no public, stable document describes the method
};

struct CatalogStatus {
    int32_t status = kNotSupported;
    int32_t weight = 0;
    std::vector<std::string> ids;
    std::vector<std::string> missing;
};

const std::vector<CatalogEntry>& MethodCatalog();
const std::vector<CatalogEntry>& RejectedMethodCatalog();
const char* ImplementationStateName(int32_t code);

CatalogStatus CatalogEntryStatus(const CatalogEntry& entry, const VmProbeList& probes);
void AddCatalogTable(Snapshot& s, const VmProbeList& probes, const std::vector<CatalogEntry>& entries, bool rejected);

}  // namespace vorq

#include "collectors/devices/display_paths.h"

#include "collectors/devices/display.h"
#include "core/text.h"

namespace vorq {

void AddDisplayPathsFrom(Snapshot& s, const DisplayPathSource& src) {
    Table t = MakeDisplayTable(table::kDisplayPaths);
    uint32_t indirect = 0;
    std::string status = "error";
    for (int attempt = 0; attempt < 2; ++attempt) {
        uint32_t nPaths = 0, nModes = 0;
        long rc = src.bufferSizes(nPaths, nModes);
        if (rc != 0) {
            status = rc == display_rc::kNotSupported ? "not_supported" : "error";
            break;
        }
        if (nPaths > kMaxDisplayPaths || nModes > kMaxDisplayModes) {
            status = "error";
            break;
        }
        if (nPaths == 0) {
            status = "ok";
            break;
        }
        const uint32_t pathCap = nPaths, modeCap = nModes;
        std::vector<DisplayPathInfo> paths;
        rc = src.query(nPaths, nModes, paths);
        if (rc == display_rc::kInsufficientBuffer) {
            status = "error";  // unless the second attempt succeeds
            continue;
        }
        if (rc != 0) {
            status = rc == display_rc::kNotSupported ? "not_supported" : "error";
            break;
        }
        if (nPaths > pathCap || nModes > modeCap || paths.size() < nPaths) {
            status = "error";
            break;
        }
        for (uint32_t k = 0; k < nPaths; ++k) {
            const DisplayPathInfo& p = paths[k];
            if (IsIndirectOutputTechnology(p.technology)) ++indirect;
            AddRow(t, {std::to_string(k + 1), std::to_string(p.source), std::to_string(p.target),
                       Format("%u", p.technology), src.edidIdentity(p), (p.flags & 1u) ? "1" : "0"});
        }
        status = "ok";
        break;
    }
    SetFact(s, fact::kDisplayProbePathsStatus, status);
    SetFact(s, fact::kDisplayProbePathsContext, indirect ? "1" : "0");
    uint16_t protocol = 0;
    if (src.remoteProtocol(protocol)) {
        SetFact(s, fact::kDisplayRemoteProtocol, std::to_string(protocol));
        if (protocol == 2) SetFact(s, fact::kDisplayProbePathsContext, "1");
    }
    s.tables.push_back(std::move(t));
}

void AddRawInputDevicesFrom(Snapshot& s, const RawInputSource& src) {
    Table t = MakeDisplayTable(table::kDisplayInputDevices);
    bool family = false;
    std::string status = "error";
    for (int attempt = 0; attempt < 2; ++attempt) {
        uint32_t count = 0;
        if (!src.count(count) || count > kMaxRawInputDevices) break;
        if (count == 0) {
            status = "ok";
            break;
        }
        uint32_t error = 0;
        const int64_t got = src.list(count, error);
        if (got < 0) {
            if (error == display_rc::kInsufficientBuffer && attempt == 0) continue;
            break;
        }
        if (got > count) break;
        for (uint32_t i = 0; i < got; ++i) {
            RawInputInfo info;
            if (!src.info(i, info)) continue;
            std::string vidPid, page, usage;
            if (info.type == 2) {
                vidPid = Format("%04lX:%04lX", static_cast<unsigned long>(info.vendorId),
                                static_cast<unsigned long>(info.productId));
                page = std::to_string(info.usagePage);
                usage = std::to_string(info.usage);
                if (!MatchHidFamily(info.vendorId, info.productId).empty()) family = true;
            }
            AddRow(t, {std::to_string(i + 1), RawInputTypeText(info.type), vidPid, page, usage});
        }
        status = "ok";
        break;
    }
    SetFact(s, fact::kDisplayProbeHidStatus, status);
    SetFact(s, fact::kDisplayProbeHidFamily, family && status == "ok" ? "VirtualBox" : "");
    s.tables.push_back(std::move(t));
}

}  // namespace vorq

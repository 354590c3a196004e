// Any disks and volumes: every device control answers with any bytes up to the
// buffer it was given, or fails with any error; a read-write reopen may fail.
// The composition of descriptors, identify data, layouts and volumes stays
// inside its buffers and writes UTF-8 rows no longer than their columns.
#include <cstdlib>

#include "collectors/devices/storage.h"
#include "tests/fuzz/fuzz_source.h"

namespace {

vorq::IoControl Answers(vorq::fuzz::Feed& f) {
    return [&f](uint32_t, const vorq::Bytes&, size_t outSize, vorq::Bytes& out, uint32_t& error) {
        if (!f.Bool()) {
            error = f.Bool() ? f.in.ConsumeIntegralInRange<uint32_t>(1, 60) : f.Int<uint32_t>();
            return false;
        }
        out = f.in.ConsumeBytes<uint8_t>(f.in.ConsumeIntegralInRange<size_t>(0, outSize));
        return true;
    };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    vorq::fuzz::Feed f{provider};
    vorq::StorageSource src;
    src.listOpened = f.Bool();
    src.listError = f.Text();
    src.elevated = f.Bool();
    src.systemDisk = f.Bool() ? f.in.ConsumeIntegralInRange<uint32_t>(0, 3) : 0xFFFFFFFF;
    src.errorText = [&f](uint32_t code) { return "error " + std::to_string(code) + f.Text(8); };
    src.disks.resize(f.Count(3));
    for (vorq::StorageDisk& d : src.disks) {
        d.interfaceIndex = f.Word();
        d.source.io = Answers(f);
        if (f.Bool())
            d.source.openReadWrite = [&f](uint32_t& error) -> vorq::IoControl {
                if (f.Bool()) return Answers(f);
                error = f.Int<uint32_t>();
                return {};
            };
    }
    src.systemDrive = f.Bool() ? 'C' : f.Int<char>();
    src.volumes.resize(f.Count(4));
    for (vorq::VolumeInfo& v : src.volumes) {
        v.root = f.Text(8);
        v.label = f.Text();
        v.fileSystem = f.Text(8);
        v.serial = f.Int<uint32_t>();
        v.guidPath = f.Text(64);
        v.objectId = f.Text(40);
        v.partitionType = f.Text(40);
        v.disk = f.Bool() ? f.Int<uint32_t>() % 4 : f.Int<uint32_t>();
    }
    vorq::Snapshot s;
    vorq::CollectStorageFrom(s, src);
    vorq::fuzz::CheckSnapshot(s);
    return 0;
}

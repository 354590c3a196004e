#include <gtest/gtest.h>

#include "core/devprop_win.h"
#include "core/registry.h"

namespace vorq {
namespace {

class DevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        set_ = DeviceInfoList(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
        ASSERT_TRUE(set_);
    }
    // The first present device whose instance id starts with `prefix`.
    bool Find(const wchar_t* prefix, SP_DEVINFO_DATA& out) {
        SP_DEVINFO_DATA dev{};
        dev.cbSize = sizeof dev;
        for (DWORD i = 0; SetupDiEnumDeviceInfo(set_.get(), i, &dev); ++i) {
            std::wstring id = DevInstanceId(set_.get(), dev);
            if (id.compare(0, wcslen(prefix), prefix) == 0) {
                out = dev;
                return true;
            }
        }
        return false;
    }
    DeviceInfoList set_;
};

TEST_F(DevicesTest, EveryPresentDeviceHasAnInstanceId) {
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    DWORD count = 0;
    for (; SetupDiEnumDeviceInfo(set_.get(), count, &dev); ++count)
        EXPECT_FALSE(DevInstanceId(set_.get(), dev).empty()) << "device " << count;
    EXPECT_GT(count, 0u);
    SP_DEVINFO_DATA bogus{};
    bogus.cbSize = sizeof bogus;
    EXPECT_TRUE(DevInstanceId(set_.get(), bogus).empty());
}

// The unified store of Wine has none of these properties: the registry
// property behind them answers.
TEST_F(DevicesTest, DisplayAdapterThroughTheRegistryProperties) {
    SP_DEVINFO_DATA dev{};
    ASSERT_TRUE(Find(L"PCI\\", dev));
    std::wstring desc = DevPropString(set_.get(), dev, DEVPKEY_Device_DeviceDesc);
    EXPECT_FALSE(desc.empty());
    EXPECT_EQ(DevFriendlyName(set_.get(), dev), desc);  // no friendly name: the description
    EXPECT_EQ(DevPropString(set_.get(), dev, DEVPKEY_Device_Class), L"Display");
    std::vector<std::wstring> ids = DevPropStringList(set_.get(), dev, DEVPKEY_Device_HardwareIds);
    ASSERT_FALSE(ids.empty());
    PciIds pci = ParsePciIds(ids[0]);
    EXPECT_EQ(pci.ven.size(), 4u);
    EXPECT_EQ(pci.dev.size(), 4u);
    EXPECT_EQ(DevPropString(set_.get(), dev, DEVPKEY_Device_HardwareIds), ids[0]);

    uint32_t n = 7;
    EXPECT_FALSE(DevPropUint32(set_.get(), dev, DEVPKEY_Device_DeviceDesc, n));  // a string is no integer
    EXPECT_FALSE(DevPropUint32(set_.get(), dev, DEVPKEY_PciDevice_CurrentLinkSpeed, n));
    EXPECT_EQ(n, 7u);
    GUID g{};
    g.Data1 = 7;
    EXPECT_FALSE(DevPropGuid(set_.get(), dev, DEVPKEY_Device_ContainerId, g));
    EXPECT_EQ(g.Data1, 7u);
    EXPECT_TRUE(DevPropString(set_.get(), dev, DEVPKEY_Device_DriverProvider).empty());
}

TEST_F(DevicesTest, DriverKeyValues) {
    SP_DEVINFO_DATA dev{};
    ASSERT_TRUE(Find(L"PCI\\", dev));
    Bytes data;
    DWORD type = 0;
    ASSERT_TRUE(DevRegValue(set_.get(), dev, DIREG_DRV, L"DriverDesc", data, type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_FALSE(RegValueToText(type, data.data(), data.size()).empty());
    EXPECT_FALSE(DevRegValue(set_.get(), dev, DIREG_DRV, L"VornixQuelmAbsent", data, type));

    // An empty value reads as absent. The prefix is the build's own, so the
    // test may add one and take it away again.
    HKEY raw = SetupDiOpenDevRegKey(set_.get(), &dev, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_SET_VALUE);
    if (raw == INVALID_HANDLE_VALUE || raw == nullptr) GTEST_SKIP() << "driver key not writable";
    UniqueHKey key(raw);
    const wchar_t* name = L"VornixQuelmTestEmpty";
    ASSERT_EQ(RegSetValueExW(key.get(), name, 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_FALSE(DevRegValue(set_.get(), dev, DIREG_DRV, name, data, type));
    RegDeleteValueW(key.get(), name);
}

}  // namespace
}  // namespace vorq

#include "vm/catalog.h"

#include <set>

#include "core/text.h"
#include "vm/vm.h"

namespace vorq {

namespace {
// One caveat for the implemented cloud-range method and the rejected ASN rule.
constexpr char kCloudEgressCaveat[] = "A cloud egress address can belong to a proxy or a bare-metal instance.";
}  // namespace

const std::vector<CatalogEntry>& MethodCatalog() {
    static const std::vector<CatalogEntry> kEntries = {
        {1, "cpu", "CPUID hypervisor-present bit", "CPUID(1).ECX[31]", "cpu.hypervisor", 0,
         "Hyper-V and VBS also set this bit on physical Windows hosts.",
         "https://learn.microsoft.com/en-us/virtualization/hyper-v-on-windows/tlfs/feature-discovery"},
        {2, "cpu", "Hypervisor vendor and interface", "CPUID(0x40000000..0x400000FF)", "cpu.vendor,cpu.partition,cpu.secondary_xen", 0,
         "A Microsoft-compatible interface alone does not establish a guest role.",
         "https://learn.microsoft.com/en-us/virtualization/hyper-v-on-windows/tlfs/feature-discovery"},
        {3, "cpu", "Synthetic hypervisor features", "CPUID(0x40000003..0x40000006); Hv#1", "cpu.hv_features", 0,
         "Synthetic features describe an interface that can also serve a physical root partition.",
         "https://learn.microsoft.com/en-us/virtualization/hyper-v-on-windows/tlfs/feature-discovery"},
        {4, "cpu", "Hyper-V partition privileges", "HV_PARTITION_PRIVILEGE_MASK; CreatePartitions", "cpu.partition", 0,
         "A root partition can itself be nested; missing privileges do not prove a guest.",
         "https://learn.microsoft.com/en-us/virtualization/hyper-v-on-windows/tlfs/feature-discovery"},
        {5, "cpu", "Nested virtualization context", "CPUID(0x40000006).EAX[13:10]", "cpu.hv_nesting", 0,
         "Nesting capabilities and current execution level have different meanings.",
         "https://learn.microsoft.com/en-us/virtualization/hyper-v-on-windows/tlfs/feature-discovery"},
        {6, "cpu", "Windows hypervisor APIs and VBS", "WHvGetCapability; Win32_DeviceGuard; HypervisorPresent", "cpu.whp_presence,os.vbs", 1,
         "Hypervisor APIs and VBS are available on physical hosts as well as in guests.",
         "https://learn.microsoft.com/en-us/virtualization/api/hypervisor-platform/funcs/whvgetcapability"},
        {7, "cpu", "CPUID processor topology", "CPUID(0x1F/0x0B); AMD topology", "cpu.topology_consistency", 1,
         "Hypervisors may pass the host topology through, and firmware may report unusual topologies on physical machines.",
         ""},
        {8, "cpu", "Windows and CPUID topology consistency", "GetLogicalProcessorInformationEx; GetSystemCpuSetInformation", "cpu.topology_consistency", 1,
         "Processor groups, parked cores and OS limits can make Windows and CPUID counts differ on physical machines.",
         "https://learn.microsoft.com/en-us/windows/win32/api/sysinfoapi/nf-sysinfoapi-getlogicalprocessorinformationex"},
        {9, "cpu", "CPU model, features and extended state", "CPUID; IsProcessorFeaturePresent; GetEnabledXStateFeatures", "cpu.xstate_consistency,cpu.architecture", 1,
         "Feature masking also happens on physical machines through firmware settings and OS policy.",
         "https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-getenabledxstatefeatures"},
        {10, "cpu", "Hypervisor MSR and PMU consistency", "RDMSR; hypervisor MSR; PMU", "", 3,
         "Reading model-specific registers needs a kernel driver that this application does not install.",
         ""},
        {11, "cpu", "Active VMware version query", "VMware backdoor GETVERSION", "", 7,
         "The query uses an I/O port instruction that faults outside the matching hypervisor and is not run.",
         ""},
        {12, "timing", "CPUID VM-exit timing", "RDTSC/RDTSCP; CPUID; control distribution", "timing.rdtsc", 2,
         "Exit latency overlaps with VBS, power management and scheduling noise on physical machines.",
         ""},
        {13, "timing", "Counting-thread clock", "Cross-CPU increment counter", "", 2,
         "Counting-thread rates depend on load, frequency scaling and scheduling.",
         ""},
        {14, "timing", "Cross-clock consistency", "TSC; QueryPerformanceCounter; thread/system time", "", 2,
         "Clock sources drift and are compensated differently across platforms and power states.",
         ""},
        {15, "timing", "Cross-core TSC consistency", "TSC; processor affinity; monotonicity", "", 2,
         "Firmware and power management can leave cores with different TSC offsets on physical machines.",
         ""},
        {16, "timing", "VM-exit cache and TLB side effects", "TLB/cache latency distributions", "", 2,
         "Cache and TLB latencies vary with processor generation, load and mitigations.",
         ""},
        {17, "timing", "vCPU scheduling and overcommit profile", "Bounded parallel scheduling workload", "", 2,
         "Scheduling profiles depend on load, power policy and core types as much as on virtualization.",
         ""},
        {18, "cpu", "Exception and single-step semantics", "SEH; single-step; interrupt shadow", "", 6,
         "Exception semantics differ between processor generations and need per-model reference data.",
         ""},
        {19, "cpu", "Rare instructions and boundary execution modes", "RDPRU; compatibility-mode instruction probes", "", 6,
         "Rare instruction behaviour differs between processor generations and needs per-model reference data.",
         ""},
        {20, "firmware", "SMBIOS platform signatures", "GetSystemFirmwareTable(RSMB); types 0/1/2/11", "firmware.system,firmware.bios,firmware.baseboard,firmware.oem_strings", 1,
         "Firmware strings are configurable and some virtual platforms copy physical vendor names.",
         "https://www.dmtf.org/standards/smbios"},
        {21, "firmware", "SMBIOS structural consistency", "SMBIOS lengths; handles; record relationships", "firmware.structure,firmware.cpu_consistency", 1,
         "Firmware bugs produce structural errors on physical machines too.",
         "https://www.dmtf.org/standards/smbios"},
        {22, "firmware", "ACPI firmware signatures and device declarations", "EnumSystemFirmwareTables; DSDT/SSDT; WAET", "firmware.acpi,firmware.acpi_devices,firmware.waet", 1,
         "Some hypervisors present OEM identities of physical vendors, and physical firmware can contain virtual-looking names.",
         "https://learn.microsoft.com/en-us/windows/win32/api/sysinfoapi/nf-sysinfoapi-enumsystemfirmwaretables"},
        {23, "firmware", "ACPI and hardware consistency", "MADT; TPM2; CPU topology; PnP", "firmware.cpu_consistency,firmware.tpm_consistency", 1,
         "Firmware omissions and OS limits can explain differences on physical machines.",
         ""},
        {24, "firmware", "UEFI variables and firmware profile", "GetFirmwareEnvironmentVariableEx; SecureBoot; UEFI GUID", "firmware.uefi_context", 1,
         "UEFI and Secure Boot are common to physical and virtual firmware.",
         "https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-getfirmwareenvironmentvariableexw"},
        {25, "hardware", "Present PnP devices and virtual buses", "SetupDiGetClassDevs; device properties; bus IDs", "hardware.pnp,hardware.bound_drivers", 1,
         "Virtual bus devices also exist on physical hosts that run virtualization software.",
         "https://learn.microsoft.com/en-us/windows/win32/api/setupapi/nf-setupapi-setupdigetclassdevsw"},
        {26, "hardware", "Virtual PCI identity combinations", "PCI VEN/DEV/SUBSYS/REV", "hardware.pci,storage.controllers,network.pnp", 1,
         "Passed-through physical devices keep their own identities inside a guest.",
         ""},
        {27, "os", "Running and device-bound guest drivers", "SCM SERVICE_RUNNING; present-device service binding", "os.guest_drivers,hardware.bound_drivers", 1,
         "Guest drivers can remain installed after migration to physical hardware.",
         ""},
        {28, "os", "Running guest services and processes", "QueryServiceStatusEx; Toolhelp process snapshot", "os.running_services,os.guest_processes", 1,
         "Guest tools can remain installed or running after migration to physical hardware.",
         "https://learn.microsoft.com/en-us/windows/win32/api/winsvc/nf-winsvc-queryservicestatusex"},
        {29, "os", "Guest registry and installation artifacts", "Guest Parameters; guest software/driver keys; fixed paths", "os.guest_parameters,os.guest_software,os.guest_files,os.driver_keys,os.guest_directories", 0,
         "Registry mirrors and leftover installations are correlated and cannot independently confirm a guest.",
         ""},
        {30, "os", "Active guest integration interface", "Read-only guest-device API/IOCTL", "os.guest_devices,firmware.vmgenid", 1,
         "Only present guest devices are inspected; a device interface alone does not identify the guest role.",
         ""},
        {31, "firmware", "Readable VM generation identifier", "VmGenerationCounter; IOCTL_VMGENCOUNTER_READ", "firmware.vmgenid", 0,
         "Only a successful supported read is used; missing access never proves physical hardware.",
         ""},
        {32, "hardware", "Physical subsystem profile", "Power capabilities; battery; lid; audio; USB; Bluetooth", "hardware.subsystem_context", 1,
         "Desktops, servers and headless systems may lack batteries, audio or USB devices.",
         ""},
        {33, "storage", "Storage device descriptor identity", "IOCTL_STORAGE_QUERY_PROPERTY; StorageDeviceProperty", "storage.model,storage.controllers", 1,
         "Storage models are configurable and passed-through disks keep their own identities.",
         "https://learn.microsoft.com/en-us/windows/win32/api/winioctl/ni-winioctl-ioctl_storage_query_property"},
        {34, "storage", "Storage identifier consistency", "StorageDeviceIdProperty; SCSI VPD; serial; WWN", "storage.identity_consistency", 1,
         "RAID controllers, bridges and drivers can reformat storage identifiers on physical machines.",
         "https://learn.microsoft.com/en-us/windows/win32/api/winioctl/ni-winioctl-ioctl_storage_query_property"},
        {35, "storage", "NVMe Identify cross-check", "ProtocolTypeNvme; Identify Controller/Namespace", "storage.identity_consistency", 1,
         "Namespace identifiers and controller formatting can differ from descriptor serials on physical drives.",
         "https://nvmexpress.org/specifications/"},
        {36, "storage", "SMART and NVMe health consistency", "NVMe health log; SMART counters", "", 7,
         "Health data is optional and varies by vendor, firmware and bridge.",
         ""},
        {37, "storage", "Storage capabilities and native VHD boot", "Sector/alignment/trim/seek properties; IsNativeVhdBoot", "storage.capability_context,storage.native_vhd", 1,
         "Native VHD boot and unusual storage capabilities occur on physical computers.",
         "https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-isnativevhdboot"},
        {38, "storage", "Storage I/O performance profile", "Private test file; latency/queue-depth distributions", "", 2,
         "I/O performance depends on load, caching and hardware class as much as on virtualization.",
         ""},
        {39, "hardware", "Full EDID validation", "EDID base/extensions; length; checksum; timings", "hardware.edid_integrity,hardware.monitor_edid", 1,
         "EDID can be overridden, replaced or relayed by docks and adapters.",
         ""},
        {40, "hardware", "EDID override context", "Monitor EDID_OVERRIDE; inventory representations", "hardware.edid_override", 1,
         "EDID overrides are also used on physical computers to fix monitor data.",
         ""},
        {41, "hardware", "Monitor, adapter and output topology", "QueryDisplayConfig; DisplayConfigGetDeviceInfo; DXGI LUID", "hardware.display_paths", 1,
         "Remote sessions, docks and indirect displays change the display topology on physical computers.",
         "https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-querydisplayconfig"},
        {42, "hardware", "DDC/CI and MCCS capabilities", "GetPhysicalMonitorsFromHMONITOR; MCCS; VCP", "", 7,
         "DDC/CI support varies by monitor, cable and adapter, and the query talks to the monitor.",
         ""},
        {43, "hardware", "Display mode consistency", "EDID timings; EnumDisplaySettingsEx; output technology", "hardware.display_paths,hardware.edid_integrity", 1,
         "Modes can differ from EDID timings by user choice, scaling or driver policy.",
         ""},
        {44, "hardware", "Display-change behavior over time", "WM_DISPLAYCHANGE; monitor-path history", "", 2,
         "Display changes depend on user activity and docking over time.",
         ""},
        {45, "hardware", "DXGI adapter inventory and flags", "IDXGIAdapter4::GetDesc3; DXGI_ADAPTER_FLAG3_SOFTWARE", "hardware.dxgi_flags,hardware.graphics", 0,
         "Software rendering is not guest proof; DXGI_ADAPTER_FLAG3_REMOTE is reserved.",
         "https://learn.microsoft.com/en-us/windows/win32/api/dxgi1_6/ns-dxgi1_6-dxgi_adapter_desc3"},
        {46, "hardware", "WDDM adapter virtualization capabilities", "D3DKMTQueryAdapterInfo; KMTQAITYPE_ADAPTERTYPE", "hardware.wddm_type", 0,
         "Paravirtualization support describes adapter capabilities, not necessarily a guest Windows role.",
         ""},
        {47, "hardware", "NVIDIA reported virtualization mode", "nvmlDeviceGetVirtualizationMode", "hardware.nvml_guest,hardware.nvml_host", 0,
         "Guest VGPU/PASSTHROUGH differs from HOST_VGPU; unsupported queries cannot establish a physical PC.",
         "https://docs.nvidia.com/deploy/nvml-api/"},
        {48, "hardware", "Direct3D feature capability matrix", "D3D11CreateDevice; CheckFeatureSupport", "hardware.d3d_caps", 1,
         "Feature levels depend on the driver, the adapter generation and remote sessions.",
         "https://learn.microsoft.com/en-us/windows/win32/api/d3d11/nf-d3d11-d3d11createdevice"},
        {49, "hardware", "Deterministic shader workloads", "Compute/render workload; result readback", "", 6,
         "Workload results need a validated per-model reference before they can be compared.",
         ""},
        {50, "hardware", "GPU performance profile", "ALU; bandwidth; texture; copy workloads", "", 2,
         "GPU performance depends on load, power state and hardware class.",
         ""},
        {51, "hardware", "GPU timestamps and queue latency", "D3D12 timestamp queries; GetClockCalibration", "", 2,
         "GPU timing depends on load, power state and driver scheduling.",
         ""},
        {52, "hardware", "Video memory budget and RAM transfer profile", "IDXGIAdapter3::QueryVideoMemoryInfo", "hardware.video_memory", 1,
         "Memory budgets depend on the driver, shared memory and other applications.",
         "https://learn.microsoft.com/en-us/windows/win32/api/dxgi1_4/nf-dxgi1_4-idxgiadapter3-queryvideomemoryinfo"},
        {53, "hardware", "GPU telemetry consistency", "Vendor clocks; temperature; utilization; power state", "hardware.nvml_telemetry", 1,
         "Telemetry availability depends on the vendor library and the driver.",
         "https://docs.nvidia.com/deploy/nvml-api/"},
        {54, "hardware", "DrawnApart GPU fingerprinting", "GPU timing fingerprint; renderer profile", "", 2,
         "GPU timing fingerprints identify hardware classes and are not validated for guest detection.",
         ""},
        {55, "hardware", "LockedApart compute-contention fingerprinting", "WebGPU shared-memory contention; native research port", "", 2,
         "Contention fingerprints are research results without a validated production threshold.",
         ""},
        {56, "hardware", "HID identity and device path", "GetRawInputDeviceList; GetRawInputDeviceInfo; present HID PnP", "hardware.hid_models", 1,
         "Device paths and HID identities can be relayed by remote sessions or passed through to a guest.",
         "https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-getrawinputdevicelist"},
        {57, "hardware", "Absolute and relative mouse movement", "WM_INPUT; RAWMOUSE; MOUSE_MOVE_ABSOLUTE", "", 7,
         "Tablets, pens and remote sessions produce absolute mouse movement on physical computers.",
         ""},
        {58, "hardware", "Cursor outside the primary display", "GetCursorPos; virtual-desktop bounds", "", 7,
         "Multi-monitor desktops place the cursor outside the primary display.",
         ""},
        {59, "os", "Remote Desktop session protocol", "WTSClientProtocolType; SM_REMOTESESSION", "os.wts_protocol,os.remote_session", 0,
         "RDP can connect to physical hosts and a VM can use its local console.",
         "https://learn.microsoft.com/en-us/windows/win32/api/wtsapi32/nf-wtsapi32-wtsquerysessioninformationw"},
        {60, "network", "Active network adapter provenance", "GetAdaptersAddresses; GetIfEntry2; PnP; route interface", "network.adapter_context,network.model,network.pnp", 1,
         "Virtual, VPN and teamed adapters exist on physical computers.",
         "https://learn.microsoft.com/en-us/windows/win32/api/iphlpapi/nf-iphlpapi-getadaptersaddresses"},
        {61, "network", "MAC address prefixes and structure", "Permanent MAC; vendor OUI; locally-administered bit", "network.oui", 1,
         "MAC addresses are configurable and randomized addresses are common.",
         ""},
        {62, "network", "Gateway, DNS, DHCP and route context", "GetIpForwardTable2; local adapter configuration", "network.route_context", 1,
         "Private addressing and NAT are common on physical networks.",
         "https://learn.microsoft.com/en-us/windows/win32/api/netioapi/nf-netioapi-getipforwardtable2"},
        {63, "network", "Active Wi-Fi behavior", "WlanScan; WlanGetNetworkBssList", "", 7,
         "Wi-Fi scanning changes radio state and depends on the location.",
         ""},
        {64, "network", "Behavioral network fingerprint", "TCP options; TTL; MTU; server timing", "", 4,
         "Network paths, proxies and middleboxes change these properties independently of the machine.",
         ""},
        {65, "cloud", "Cloud IP range and ASN", "External IPv4/IPv6; provider IP ranges; ASN", "", 4,
         kCloudEgressCaveat,
         ""},
        {66, "cloud", "Signed Azure instance attestation document", "IMDS attested/document; PKCS#7; nonce; vmId", "", 4,
         "The document needs a verifying server and a fresh nonce to prove the instance.",
         "https://learn.microsoft.com/en-us/azure/virtual-machines/instance-metadata-service"},
        {67, "cloud", "Signed AWS instance identity document", "IMDSv2; instance-identity/document; RSA signature", "", 4,
         "The document needs a verifying server to prove the instance.",
         "https://docs.aws.amazon.com/AWSEC2/latest/UserGuide/instance-identity-documents.html"},
        {68, "cloud", "Google Compute Engine instance identity token", "Metadata-Flavor; audience; full instance claims; JWT", "", 4,
         "The token needs a verifying server and a chosen audience to prove the instance.",
         "https://cloud.google.com/compute/docs/instances/verifying-instance-identity"},
        {69, "cloud", "OCI and OpenStack instance metadata", "OCI /opc/v2/instance; OpenStack meta_data.json", "", 7,
         "Metadata requests send network traffic that this application does not send.",
         ""},
        {70, "cloud", "Correlated cloud Windows image profile", "Cloud agent; SMBIOS; NIC/storage families", "cloud.firmware,cloud.agents", 1,
         "Cloud images can also run on other virtual or physical hosts.",
         ""},
        {71, "os", "TPM inventory through TBS", "Tbsi_GetDeviceInfo; TPM2_GetCapability", "os.tpm_inventory", 1,
         "TPM presence is inventory and does not establish a physical TPM.",
         "https://learn.microsoft.com/en-us/windows/win32/api/tbs/nf-tbs-tbsi_getdeviceinfo"},
        {72, "firmware", "TPM interface and capability consistency", "ACPI TPM2; PnP; TBS; TPM capabilities", "firmware.tpm_consistency,os.tpm_emulator_context", 1,
         "TPM passthrough and firmware omissions can explain differences.",
         ""},
        {73, "os", "EK certificate and public-key availability", "TPM EK public area; NV certificates; Windows TPM APIs", "os.ek_material", 0,
         "An absent certificate is different from an invalid certificate and is not VM proof.",
         ""},
        {74, "os", "Independent EK trust-chain validation", "Exclusive trusted roots; X.509 path; revocation policy", "", 4,
         "Chain validation needs exclusive trusted roots and revocation data that this application does not hold.",
         ""},
        {75, "os", "TCG EK credential profile validation", "TCG EK Credential Profile 2.7; key usage; subject claims", "", 4,
         "Profile conformance varies by manufacturer and firmware generation.",
         "https://trustedcomputinggroup.org/resource/tcg-ek-credential-profile-for-tpm-family-2-0/"},
        {76, "os", "EK certificate to public-key binding", "EK certificate SPKI; TPM2_ReadPublic", "os.ek_binding", 1,
         "A matching public key does not prove private-key possession or a trusted issuer.",
         ""},
        {77, "os", "EK to AK credential activation proof", "MakeCredential; TPM2_ActivateCredential; server secret", "", 4,
         "Credential activation needs a server that holds the secret.",
         ""},
        {78, "os", "Attestation key origin and attributes", "AK Name/Qualified Name; object attributes; trusted enrollment", "", 4,
         "Key attributes are only trusted after an enrollment checked by a server.",
         ""},
        {79, "os", "TPM Quote with a fresh server challenge", "TPM2_Quote; nonce; extraData; replay cache", "", 4,
         "A quote proves freshness only against a challenge chosen by a server.",
         ""},
        {80, "os", "Complete TPM Quote structure verification", "TPMS_ATTEST; magic/type/signer/extraData/PCR selection", "", 4,
         "Structure checks need the verifier's expected policy.",
         ""},
        {81, "os", "PCR values bound to the quoted digest", "PCR bank/order/selection; aggregate digest; verified Quote", "", 4,
         "PCR values are compared only against a verified quote.",
         ""},
        {82, "os", "Measured-boot event-log replay", "Tbsi_Get_TCG_Log_Ex; SRTM/DRTM; PCR replay", "os.measured_boot", 1,
         "A matching log is compatible with a virtual guest.",
         "https://learn.microsoft.com/en-us/windows/win32/api/tbs/nf-tbs-tbsi_get_tcg_log_ex"},
        {83, "os", "Measured boot-chain semantic policy", "Authenticated boot measurements; trusted reference policy", "", 4,
         "Boot-chain policy needs trusted reference measurements.",
         ""},
        {84, "os", "Attested Secure Boot state", "SecureBoot policy; authenticated boot log", "", 4,
         "Secure Boot state is only attested through a verified log and quote.",
         ""},
        {85, "os", "Authenticated TPM clock and lifecycle history", "Signed clockInfo; reset/restart counters; server history", "", 4,
         "Clock and counter history needs a server that keeps earlier readings.",
         ""},
        {86, "os", "Application key bound to an attested TPM", "TPM key certification; NCryptCreateClaim", "", 4,
         "Key certification needs a trusted attestation key and a verifier.",
         "https://learn.microsoft.com/en-us/windows/win32/api/ncrypt/nf-ncrypt-ncryptcreateclaim"},
        {87, "os", "OEM platform certificate verification", "TCG Platform Certificate Profile 2.1; independent OEM roots", "", 4,
         "Platform certificates are not issued for every machine and need independent OEM roots.",
         "https://trustedcomputinggroup.org/resource/tcg-platform-certificate-profile/"},
        {88, "os", "Trusted virtual TPM classification", "Attestation issuer policy; physical/vTPM claims", "", 4,
         "Virtual TPM classification depends on the issuer policy of the attestation service.",
         ""},
        {89, "os", "Confidential VM guest attestation", "Provider attestation; AMD SEV-SNP; Intel TDX claims", "", 4,
         "Confidential-computing claims need the provider's attestation service.",
         ""},
        {90, "os", "Windows Health Attestation", "HealthAttestation CSP; nonce; managed-device policy", "", 5,
         "Health attestation needs managed-device infrastructure.",
         "https://learn.microsoft.com/en-us/windows/client-management/mdm/healthattestation-csp"},
        {91, "os", "Intune enrollment attestation", "Intune Windows enrollment attestation; managed device", "", 5,
         "Enrollment attestation needs managed-device infrastructure.",
         ""},
        {92, "os", "Attested TPM firmware version", "Firmware-limited EK credential; current-firmware attestation", "", 4,
         "Firmware versions are trusted only when attested by a verifier.",
         ""},
        {93, "os", "VRT0010-aware attestation key enrollment", "Restricted HMAC key; CertifyCreation; trusted EK", "", 4,
         "Key enrollment needs a trusted EK and a verifier.",
         ""},
        {94, "os", "TCG IDENTITY2 patch challenge", "Applicable VRT0010 IDENTITY2 challenge", "", 4,
         "The challenge needs a verifier that knows the applicable patch state.",
         ""},
        {95, "os", "VRT0011-aware EK and RSA-OAEP policy", "Trusted ECC/RSA EK policy; manufacturer mitigations", "", 4,
         "The policy needs manufacturer data and a verifier.",
         ""},
        {96, "timing", "TPM command timing profile", "Allowed TPM commands; model/firmware timing distributions", "", 2,
         "TPM timing varies by model, firmware and load.",
         ""},
        {97, "hardware", "Cross-layer platform consistency", "CPU/ACPI/PCI/GPU/EDID/storage/TPM evidence graph", "cpu.topology_consistency,firmware.structure,firmware.cpu_consistency,firmware.tpm_consistency,storage.identity_consistency,hardware.edid_integrity", 1,
         "Each layer can differ on physical machines for benign reasons.",
         ""},
        {98, "os", "Platform, clone and rollback history", "Trusted EK/AK/VMGENID history; authenticated boot records", "", 4,
         "History needs trusted records kept over time.",
         ""},
        {99, "hardware", "Variable validated active probes", "Validated query/workload variants; challenge parameters", "", 6,
         "Variants need validated reference data before they can be compared.",
         ""},
        {100, "hardware", "Version-specific Morvel K7 differential profiles", "Per-build NVMe/HID/DDC/GPU/CPU/TPM reference matrix", "", 6,
         "Reference profiles would have to be validated per model and per build.",
         ""},
    };
    return kEntries;
}

const std::vector<CatalogEntry>& RejectedMethodCatalog() {
    static const std::vector<CatalogEntry> kEntries = {
        {1, "cpu", "Low CPU, RAM or disk resources", "CPU/RAM/storage counts", "", 7,
         "Resource limits describe configuration, not whether the computer is virtual.",
         ""},
        {2, "cpu", "Historical Red Pill descriptor-table probes", "SIDT/SGDT/SLDT/STR", "", 7,
         "Architecture restrictions and modern virtualization invalidate historical address thresholds.",
         ""},
        {3, "timing", "One fixed RDTSC or CPUID threshold", "RDTSC/CPUID", "timing.rdtsc", 7,
         "VBS, CPU generation, scheduling and timer compensation overlap with VM timing.",
         ""},
        {4, "timing", "RDRAND timing, missing audio and generic EPT timing", "RDRAND; audio presence; EPT/NPT timing", "", 7,
         "These effects have physical alternatives and no validated universal classification threshold.",
         ""},
        {5, "os", "Installed Hyper-V, Sandbox or WSL components", "Hyper-V; Windows Sandbox; WSL", "os.vbs,hardware.synthetic", 7,
         "Installed host virtualization components do not establish that this Windows instance is a guest.",
         ""},
        {6, "os", "Valid TPM certificate implies physical hardware", "EK certificate; Quote", "", 7,
         "Valid vTPM evidence and physical TPM passthrough are compatible with a virtual guest.",
         ""},
        {7, "os", "Any attestation failure implies a VM", "Attestation error status", "", 7,
         "Permission, provisioning, transport and unsupported errors must remain separate from VM evidence.",
         ""},
        {8, "hardware", "Valid EDID, official GPU driver or physical USB identity", "EDID checksum; GPU signature; USB VID/PID", "", 7,
         "Correct device metadata is not cryptographic proof of the platform running Windows.",
         ""},
        {9, "hardware", "Cursor leaves the main display or window focus", "Cursor position; WM_MOUSELEAVE; focus", "", 7,
         "Negative coordinates and leaving the primary monitor are normal on multi-monitor desktops.",
         ""},
        {10, "cloud", "Cloud ASN implies the application runs in a VPS", "IP/ASN", "", 7,
         kCloudEgressCaveat,
         ""},
    };
    return kEntries;
}

const char* ImplementationStateName(int32_t code) {
    switch (code) {
        case kImplemented: return "Implemented locally";
        case kPartial: return "Partially implemented";
        case kResearch: return "Uncalibrated research method";
        case kNeedsKernelDriver: return "Requires a signed kernel driver";
        case kNeedsAttestationServer: return "Requires an attestation server";
        case kNeedsManagedDevice: return "Requires managed-device infrastructure";
        case kNeedsLabProfile: return "Requires a validated laboratory profile";
        default: return "Not enabled in this application";
    }
}

CatalogStatus CatalogEntryStatus(const CatalogEntry& entry, const VmProbeList& probes) {
    CatalogStatus out;
    std::set<std::string> ids;
    const std::string related = entry.related ? entry.related : "";
    size_t start = 0;
    while (start <= related.size()) {
        size_t comma = related.find(',', start);
        if (comma == std::string::npos) comma = related.size();
        if (comma > start) ids.insert(related.substr(start, comma - start));
        start = comma + 1;
    }
    out.ids.assign(ids.begin(), ids.end());
    if (entry.state >= kResearch) return out;

    bool detected = false, error = false, inconclusive = false, unsupported = false, definite = false;
    for (const std::string& id : out.ids) {
        const VmProbe* probe = nullptr;
        for (const VmProbe& p : probes)
            if (p.id == id) {
                probe = &p;
                break;
            }
        if (!probe) {
            out.missing.push_back(id);
            inconclusive = true;
            continue;
        }
        if (probe->strength != kContext && probe->weight > out.weight) out.weight = probe->weight;
        switch (probe->result) {
            case kDetected: detected = definite = true; break;
            case kNotDetected: definite = true; break;
            case kProbeError: error = true; break;
            case kNotSupported: unsupported = true; break;
            default: inconclusive = true; break;
        }
    }
    if (detected) {
        out.status = kDetected;
    } else if (error) {
        out.status = kProbeError;
    } else if (inconclusive || (unsupported && definite) || entry.state == kPartial || out.ids.empty()) {
        out.status = kInconclusive;
    } else if (definite) {
        out.status = kNotDetected;
    } else {
        out.status = kNotSupported;
    }
    return out;
}

namespace {

const char* CatalogEvidence(const CatalogEntry& entry, const CatalogStatus& st) {
    switch (entry.state) {
        case kImplemented:
        case kPartial: break;
        case kResearch: return "This research method has no validated production threshold and is not executed.";
        case kNeedsKernelDriver: return "This application does not install a diagnostic kernel driver.";
        case kNeedsAttestationServer: return "Trusted server challenges and verification are not configured.";
        case kNeedsManagedDevice: return "Managed-device attestation is not configured.";
        case kNeedsLabProfile: return "No validated per-model or per-build reference profile is available.";
        default: return "No host probe is executed for this catalog entry.";
    }
    if (!st.missing.empty()) return "A referenced diagnostic is unavailable in this build.";
    switch (st.status) {
        case kDetected: return "A related check detected its documented signal; inspect that check for its meaning.";
        case kProbeError: return "A related data source could not be read completely.";
        case kNotDetected: return "Supported related checks completed without their selected signal.";
        default:
            return entry.state == kPartial
                       ? "Only the documented local subset is implemented; the complete method was not evaluated."
                       : "The required related observations are unavailable or inconclusive.";
    }
}

}  // namespace

void AddCatalogTable(Snapshot& s, const VmProbeList& probes, const std::vector<CatalogEntry>& entries, bool rejected) {
    Table t = MakeTable("vm", rejected ? table::kVmCatalogRejected : table::kVmCatalogMethods,
                        rejected ? "Rejected heuristics" : "Method catalog",
                        {{"Catalog ID", Role::Program}, {"Category", Role::Program}, {"Test", Role::Program}, {"Method", Role::Program}, {"Implementation", Role::Program}, {"Status", Role::Program}, {"Weight", Role::Program}, {"Impact", Role::Program}, {"False-positive considerations", Role::Program}, {"Related checks", Role::Program}, {"Evidence", Role::Maker}, {"Reference", Role::Program}},
                        "Catalog entries reference canonical diagnostics. They do not run duplicate probes or add another "
                        "score deduction.");
    for (const CatalogEntry& e : entries) {
        CatalogStatus st = CatalogEntryStatus(e, probes);
        if (rejected) st.status = kNotSupported;
        AddRow(t, {Format(rejected ? "W%03d" : "%03d", e.id), e.area, e.title, e.method, ImplementationStateName(e.state),
                   ProbeResultName(st.status), std::to_string(st.weight), "0",
                   e.caveat, Join(st.ids, ", "), CatalogEvidence(e, st), e.reference});
    }
    s.tables.push_back(std::move(t));
}

void AddCatalogTables(Snapshot& s, const VmProbeList& probes) {
    AddCatalogTable(s, probes, MethodCatalog(), false);
    AddCatalogTable(s, probes, RejectedMethodCatalog(), true);
}

}  // namespace vorq

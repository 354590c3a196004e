// Any Windows registry texts and answers: version values, lineage entries,
// profiles, certificate stores with any subjects, key types and dates, the
// system id and CHIDs, locale and setup state. The collector writes UTF-8
// rows no longer than their columns.
#include <cstdlib>

#include "collectors/trust/windows_os.h"
#include "tests/fuzz/fuzz_source.h"

namespace {

using vorq::fuzz::Feed;

// A build number as the registry holds it: mostly digits, sometimes not.
std::string Build(Feed& f) { return f.Bool() ? std::to_string(f.Int<uint32_t>()) : f.Text(12); }

vorq::CertSource Cert(Feed& f) {
    vorq::CertSource c;
    c.subject = f.Text(64);
    c.issuer = f.Bool() ? c.subject : f.Text(64);
    c.selfSigned = f.Bool();
    if (f.Bool()) c.basicConstraintsCa = f.Bool();
    if (f.Bool()) c.subjectTypeCa = f.Bool();
    c.keyAlgorithmOid = f.Bool() ? "1.2.840.113549.1.1.1" : f.Text(24);
    c.keyBits = f.Int<uint32_t>();
    c.thumbprint = f.Text(64);
    c.notBefore = f.Int<uint64_t>();
    c.notAfter = f.Int<uint64_t>();
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    Feed f{provider};
    vorq::WindowsSource in;
    in.productName = f.Text();
    in.editionId = f.Text(24);
    in.displayVersion = f.Text(8);
    in.currentBuildNumber = Build(f);
    in.currentBuild = Build(f);
    in.ubr = f.Int<uint32_t>();
    for (std::string* t : {&in.buildLabEx, &in.installationType, &in.productId, &in.buildGuid, &in.registeredOwner,
                           &in.registeredOrganization})
        *t = f.Text();
    in.installTime = f.Maybe<uint64_t>();
    in.installDate = f.Maybe<uint32_t>();
    in.machineGuid = f.Text(40);
    in.machineSid = f.Text(48);
    in.hwProfileGuid = f.MaybeText(40);
    in.susClientId = f.Text(40);
    in.sqmMachineId = f.Text(40);
    in.defenderSenseId = f.Text(40);
    in.computerName = f.MaybeText(24);
    in.entraJoinFirstSubkey = f.Text(40);
    in.lineage.resize(f.Count(4));
    for (vorq::LineageSource& l : in.lineage) {
        l.entryName = f.Text(64);
        l.productName = f.Text();
        l.displayVersion = f.Text(8);
        l.currentBuildNumber = Build(f);
        l.currentBuild = Build(f);
        l.ubr = f.Int<uint32_t>();
        for (std::string* t : {&l.editionId, &l.installationType, &l.buildGuid, &l.productId}) *t = f.Text(24);
        l.installTime = f.Maybe<uint64_t>();
        l.installDate = f.Maybe<uint32_t>();
    }
    in.currentUserSid = f.Text(48);
    in.userName = f.Text(24);
    in.profiles.resize(f.Count(5));
    for (vorq::ProfileSource& p : in.profiles) {
        p.sid = f.Bool() ? in.machineSid + "-" + f.Text(8) : f.Text(48);
        p.loadHigh = f.Int<uint32_t>();
        p.loadLow = f.Int<uint32_t>();
        p.unloadHigh = f.Int<uint32_t>();
        p.unloadLow = f.Int<uint32_t>();
        p.state = f.Int<uint32_t>();
        p.imagePath = f.Text(64);
    }
    in.certStores.resize(f.Count(3));
    for (vorq::CertStoreSource& st : in.certStores) {
        st.label = f.Text(24);
        st.remoteDesktop = f.Bool();
        st.opened = f.Bool();
        st.error = f.Text();
        st.certs.resize(f.Count(4));
        for (vorq::CertSource& c : st.certs) c = Cert(f);
    }
    in.systemId.ok = f.Bool();
    in.systemId.idHex = f.Text(96);
    in.systemId.source = f.Int<int32_t>();
    in.systemId.error = f.Text();
    in.chid = f.Text(40);
    in.chids = f.Texts(4, 40);
    in.tickCount = f.Int<uint64_t>();
    in.elevated = f.Bool();
    in.locale = f.Text(12);
    in.timeZone = f.Text();
    in.uiLanguages = f.MaybeText();
    in.preloadLayouts = f.Texts(4, 12);
    in.keyboardLayouts = f.Texts(4, 12);
    in.dnsDomain = f.Text();
    in.bootId = f.Maybe<uint32_t>();
    for (std::string* t : {&in.geoName, &in.geoNation, &in.httpsProgId, &in.lastLoggedOnProvider, &in.cloneTag,
                           &in.imageState})
        *t = f.Text();
    in.generalizationState = f.Maybe<uint32_t>();
    in.upgrade = f.Maybe<uint32_t>();
    vorq::Snapshot s;
    vorq::CollectWindowsFrom(s, in);
    vorq::fuzz::CheckSnapshot(s);
    return 0;
}

// Any text as the candidate checks' files: the orbit file, the variable-star
// index and the transient list (one input read as each), and as a header's
// date and site cards.
#include "checks/errors.h"
#include "checks/minor_planets.h"
#include "checks/observation_time.h"
#include "checks/observer_site.h"
#include "checks/text_fields.h"
#include "checks/transients.h"
#include "checks/variable_stars.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzz::Folder() / "checks.txt";
    fuzz::WriteFile(path, data, size);
    const std::vector<checks::SkyPlace> places{{188.7, 10.5}, {0, -89.999}, {359.9999, 0}};
    try {
        const auto orbits = checks::ReadOrbitFile(path.string());
        if (orbits.names.size() != orbits.orbits.size()) __builtin_trap();
        (void)checks::MinorPlanetsNear(orbits, 61000.5, places, 3600);
    } catch (const checks::Error&) {
    }
    try {
        (void)checks::FindVariableStars(path.string(), places, 36000);
    } catch (const checks::Error&) {
    }
    try {
        (void)checks::FindTransients(path.string(), places, 36000);
    } catch (const checks::Error&) {
    }
    const std::string header(reinterpret_cast<const char*>(data), size);
    if (const auto t = checks::MidExposureMjdTT(header)) {
        (void)checks::UtcText(*t);
        if (const auto site = checks::ObserverSite(header)) (void)checks::ObserverPosition(*t, *site);
    }
    (void)checks::AngleText(header, true);
    return 0;
}

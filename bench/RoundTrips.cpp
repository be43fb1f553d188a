#include "RoundTrips.h"

#include "EchoDevice.h"
#include "RoundTrip.h"

#include <algorithm>
#include <array>
#include <vector>

namespace bench {

RoundTripFigures MeasureRoundTrips(int master, const std::string& slavePath,
                                   const Options& options) {
    enum Kind { kRawOne, kRawReader, kNone, kThreadSync, kKinds };
    std::array<std::vector<double>, kKinds> samples;
    std::array<double, kKinds> cpuNs{};
    for (auto& s : samples)
        s.reserve(static_cast<std::size_t>(options.trips));

    EchoDevice echo(master);
    // Each block reopens its end of the line, so each gets a warm-up of its own.
    const int warmup = std::max(50, options.warmup / options.rounds);
    for (int round = 0; round < options.rounds; ++round) {
        const int trips =
            options.trips / options.rounds + (round < options.trips % options.rounds ? 1 : 0);
        // A different order each round, so that no kind always follows the same one.
        for (int i = 0; i < kKinds; ++i) {
            const int kind = (i + round) % kKinds;
            const TripBlock block{slavePath, warmup, trips,
                                  &samples[static_cast<std::size_t>(kind)],
                                  &cpuNs[static_cast<std::size_t>(kind)]};
            switch (kind) {
            case kRawOne:
                RawTripsOneThread(block);
                break;
            case kRawReader:
                RawTripsReaderThread(block);
                break;
            case kNone:
                PortTrips(block, smNone, options.spin);
                break;
            case kThreadSync:
                PortTrips(block, smThreadSync, {});
                break;
            }
        }
    }
    const auto summary = [&](int kind) {
        const auto k = static_cast<std::size_t>(kind);
        return Summarise(samples[k], cpuNs[k]);
    };
    return RoundTripFigures{summary(kRawOne), summary(kRawReader), summary(kNone),
                            summary(kThreadSync)};
}

} // namespace bench

#include "core/dict/record_encoding.hpp"

#include "core/dict/dictionary.hpp"

namespace lexovia::dict {

FeaturePair FeaturePair::read(const std::uint8_t*& p) {
    FeaturePair pair;
    pair.key = *p++;
    pair.values = read_byte_list(p);
    return pair;
}

RecordView RecordView::read(const std::uint8_t*& p) {
    RecordView r;
    r.stress_positions = read_byte_list(p);
    r.pos = read_byte_list(p);
    const std::uint64_t nfeatures = read_varint(p);
    r.features = FeatureList(p, nfeatures);
    for (std::uint64_t i = 0; i < nfeatures; ++i) FeaturePair::read(p);
    const std::uint8_t flags = *p++;
    if (flags & HAS_LEMMA) r.lemma = read_u32(p);
    if (flags & HAS_DEFINITION) r.definition = read_u32(p);
    return r;
}

}  // namespace lexovia::dict

#include "ClipMutator.h"

#include <algorithm>

namespace tvnfuzz {

namespace {
constexpr qsizetype kHeaderZone = 8192;
}

ClipMutator::ClipMutator(uint64_t seed) : state_(seed) {}

// splitmix64: small, fast, and the same on every platform (the standard
// library's distributions are not).
uint64_t ClipMutator::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t ClipMutator::below(uint64_t n) { return n == 0 ? 0 : next() % n; }

qsizetype ClipMutator::pickOffset(qsizetype size) {
    if (size <= 0) return 0;
    const qsizetype zone = std::min(size, kHeaderZone);
    switch (below(4)) {
        case 0: return qsizetype(below(uint64_t(zone)));
        case 1: return size - 1 - qsizetype(below(uint64_t(zone)));
        default: return qsizetype(below(uint64_t(size)));
    }
}

void ClipMutator::flipBits(QByteArray& data, QString& recipe) {
    if (data.isEmpty()) return;
    const int count = 1 + int(below(16));
    for (int i = 0; i < count; ++i) {
        const qsizetype at = pickOffset(data.size());
        data[at] = char(uint8_t(data[at]) ^ uint8_t(1u << below(8)));
    }
    recipe += QStringLiteral("flip %1 bits; ").arg(count);
}

void ClipMutator::zeroSpan(QByteArray& data, QString& recipe) {
    if (data.isEmpty()) return;
    const qsizetype at = pickOffset(data.size());
    const qsizetype length = std::min(data.size() - at, qsizetype(1 + below(4096)));
    std::fill_n(data.begin() + at, length, '\0');
    recipe += QStringLiteral("zero %1 bytes at %2; ").arg(length).arg(at);
}

void ClipMutator::cut(QByteArray& data, QString& recipe) {
    // Mostly late cuts (a file that lost its end), sometimes anywhere.
    const qsizetype size = data.size();
    const qsizetype keep = below(3) == 0 ? qsizetype(below(uint64_t(size) + 1))
                                         : size / 2 + qsizetype(below(uint64_t(size - size / 2) + 1));
    data.truncate(keep);
    recipe += QStringLiteral("cut to %1 bytes; ").arg(keep);
}

void ClipMutator::smashField(QByteArray& data, QString& recipe) {
    // Sizes, counts and offsets at their extremes: the values that overflow arithmetic.
    static constexpr uint32_t kValues[] = {0, 1, 0x7F, 0x80, 0xFF, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    if (data.size() < 4) return;
    const qsizetype at = std::min(pickOffset(data.size()), data.size() - 4);
    const uint32_t value = kValues[below(std::size(kValues))];
    const bool bigEndian = below(2) == 0;
    for (int b = 0; b < 4; ++b) data[at + b] = char(value >> (bigEndian ? 24 - 8 * b : 8 * b));
    recipe += QStringLiteral("write 0x%1 (%2) at %3; ")
                  .arg(value, 0, 16)
                  .arg(bigEndian ? QStringLiteral("BE") : QStringLiteral("LE"))
                  .arg(at);
}

void ClipMutator::repeatSpan(QByteArray& data, QString& recipe) {
    if (data.isEmpty()) return;
    const qsizetype from = qsizetype(below(uint64_t(data.size())));
    const qsizetype length = std::min(data.size() - from, qsizetype(1 + below(16384)));
    const qsizetype to = pickOffset(data.size());
    data.insert(to, data.mid(from, length));
    recipe += QStringLiteral("repeat %1 bytes from %2 at %3; ").arg(length).arg(from).arg(to);
}

void ClipMutator::splice(QByteArray& data, const QByteArray& donor, QString& recipe) {
    if (donor.isEmpty()) return;
    // The headers of one file in front of the body of another, either way round.
    const qsizetype head = std::min(donor.size(), qsizetype(1 + below(uint64_t(kHeaderZone) * 4)));
    const qsizetype from = qsizetype(below(uint64_t(data.size()) + 1));
    if (below(2) == 0) {
        data = donor.left(head) + data.mid(from);
        recipe += QStringLiteral("splice donor's first %1 bytes before clip from %2; ").arg(head).arg(from);
    } else {
        data = data.left(head) + donor.mid(qsizetype(below(uint64_t(donor.size()) + 1)));
        recipe += QStringLiteral("splice clip's first %1 bytes before part of donor; ").arg(head);
    }
}

QByteArray ClipMutator::mutate(const QByteArray& clip, const QByteArray& donor, QString& recipe) {
    QByteArray data = clip;
    const int count = 1 + int(below(3));
    for (int i = 0; i < count; ++i) {
        switch (below(12)) {
            case 0: case 1: case 2: case 3: flipBits(data, recipe); break;
            case 4: case 5: zeroSpan(data, recipe); break;
            case 6: case 7: smashField(data, recipe); break;
            case 8: case 9: cut(data, recipe); break;
            case 10: repeatSpan(data, recipe); break;
            default: splice(data, donor, recipe); break;
        }
    }
    recipe.chop(2);
    return data;
}

}  // namespace tvnfuzz

#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tvnfuzz {

// Damages a clip the way real files get damaged: flipped bits, zeroed spans (a
// bad sector), a cut (a full card, a copy that stopped), a container field
// overwritten with an extreme value, a span repeated, or the start of one file
// spliced onto the rest of another. Everything follows from the seed, so the
// same seed and clips give the same bytes on every machine.
class ClipMutator {
public:
    explicit ClipMutator(uint64_t seed);

    // One to three damages applied to clip (donor supplies spliced bytes).
    // recipe receives a short description, for the report of a failure.
    QByteArray mutate(const QByteArray& clip, const QByteArray& donor, QString& recipe);

    // A number in [0, n); 0 when n is 0.
    uint64_t below(uint64_t n);

private:
    uint64_t next();
    // An offset where a container keeps its headers and indexes (the first or
    // the last few kilobytes) half of the time, anywhere otherwise.
    qsizetype pickOffset(qsizetype size);

    void flipBits(QByteArray& data, QString& recipe);
    void zeroSpan(QByteArray& data, QString& recipe);
    void cut(QByteArray& data, QString& recipe);
    void smashField(QByteArray& data, QString& recipe);
    void repeatSpan(QByteArray& data, QString& recipe);
    void splice(QByteArray& data, const QByteArray& donor, QString& recipe);

    uint64_t state_;
};

}  // namespace tvnfuzz

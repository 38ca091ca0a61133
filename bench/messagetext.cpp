// Decoding a full message set to its text form and composing it back.
#include "messagetext.h"
#include "codepage1250.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

using namespace pixbar;

namespace {

/// Eight full messages of what the editor writes: Polish text in two fonts, effects, pauses,
/// fields, symbols and graphic columns.
MessageSetRecords editorSet() {
    const Cell items[] = {{0xF0, 0x10}, {3, 1},       {0x02, 'P'},  {0x02, 0xB3}, {0x02, 'o'},
                          {0x07, 0xBF}, {0x07, ' '},  {0x50, 0x81}, {0x12, 0xFF}, {0xF0, 0x01},
                          {2, 1},       {0x0F, 0x80}, {0x0F, 0x81}, {0x0D, 7},    {0x0D, 8},
                          {0x27, 0xFE}, {0x50, 0x80}, {0x02, '{'},  {0x02, 'z'},  {0x02, 0x9C}};
    MessageSetRecords set{};
    for (MessageRecord& r : set)
        for (int i = 0; i < kCellCount; ++i) r.setCell(i, items[std::size_t(i) % std::size(items)]);
    set[2].setKind(1);
    set[3].setKind(2);
    return set;
}

/// Eight records of random bytes: mostly {cell} items and long tails.
MessageSetRecords randomSet() {
    std::mt19937 random(1);
    std::uniform_int_distribution<int> byte(0, 255);
    MessageSetRecords set{};
    for (MessageRecord& r : set)
        for (auto& b : r.bytes) b = std::uint8_t(byte(random));
    return set;
}

void decodeSet(benchmark::State& state, const MessageSetRecords& set) {
    const CharacterCodec& codec = CodePage1250::instance();
    for (auto _ : state) benchmark::DoNotOptimize(MessageSetToText(set, codec));
    state.SetItemsProcessed(state.iterations() * kMessageSetCount);
}

void composeSet(benchmark::State& state, const MessageSetRecords& set) {
    const CharacterCodec& codec = CodePage1250::instance();
    const std::string text = MessageSetToText(set, codec);
    MessageSetRecords back{};
    for (auto _ : state) {
        if (ComposeMessageSet(text, codec, back)) state.SkipWithError("the text did not compose");
        benchmark::DoNotOptimize(back);
    }
    if (back != set) state.SkipWithError("the set did not come back");
    state.SetBytesProcessed(state.iterations() * std::int64_t(text.size()));
}

void BM_DecodeEditorSet(benchmark::State& state) {
    decodeSet(state, editorSet());
}
void BM_ComposeEditorSet(benchmark::State& state) {
    composeSet(state, editorSet());
}
void BM_DecodeRandomSet(benchmark::State& state) {
    decodeSet(state, randomSet());
}
void BM_ComposeRandomSet(benchmark::State& state) {
    composeSet(state, randomSet());
}

} // namespace

BENCHMARK(BM_DecodeEditorSet);
BENCHMARK(BM_ComposeEditorSet);
BENCHMARK(BM_DecodeRandomSet);
BENCHMARK(BM_ComposeRandomSet);

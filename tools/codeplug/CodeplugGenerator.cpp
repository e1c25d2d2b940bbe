#include "CodeplugGenerator.h"

#include "CodeplugBuilder.h"

#include <algorithm>
#include <random>
#include <vector>

#include "convert/CodeplugVersion.h"
#include "convert/ZKWParmsFormatConvertBase.h"

namespace {

using Table = CodeplugBuilder::Table;
using BlockPlan = CodeplugBuilder::Block;

class Generator {
  public:
    Generator(CodeplugImage& img, const CodeplugGeneratorOptions& o)
        : img_(img), o_(o), rng_(o.seed), v_(o.versionIndex), builder_(img, o.versionIndex) {}

    int run();

  private:
    int random(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    Table some(int words) { return {random(0, o_.maxEntries), words}; }
    int emit(const BlockPlan& plan);
    bool is510() const { return v_ == kVersion510; }
    int width(int w59, int w510) const { return is510() ? w510 : w59; }

    std::vector<Table> blankTables(int count);
    BlockPlan headerPlan();
    BlockPlan kindPlan(int kind);
    BlockPlan systemPlan(int kind, int number);
    BlockPlan ordinalPlan();

    CodeplugImage& img_;
    CodeplugGeneratorOptions o_;
    std::mt19937 rng_;
    uint8_t v_;
    CodeplugBuilder builder_;
};

std::vector<Table> Generator::blankTables(int count) {
    return std::vector<Table>(count);
}

int descriptorOffsetOf(LayoutKind kind, uint8_t v) {
    const LayoutRecord r = layoutFor(kind, v);
    return r.dataOffset - r.tableCount;
}

int tableCountOf(LayoutKind kind, uint8_t v) {
    return layoutFor(kind, v).tableCount;
}

BlockPlan Generator::headerPlan() {
    BlockPlan p{kHeaderClass, 0, descriptorOffsetOf(LayoutKind::Header, v_),
                blankTables(tableCountOf(LayoutKind::Header, v_))};
    p.tables[0] = {v_ >= kVersion59 ? 16 + random(0, 2) : random(0, 20), random(1, 3)};
    p.tables[1] = {is510() ? 64 : 16, 2};
    if (v_ >= kVersion59) {
        p.tables[3] = {16, 1};
    } else if (random(0, 3) == 0) {
        p.tables[3] = {random(1, 4), 1};
    }
    p.tables[2] = some(random(1, 4));
    p.tables[5] = some(random(1, 6));
    return p;
}

BlockPlan Generator::kindPlan(int kind) {
    LayoutKind layout = LayoutKind::KindBlock0;
    switch (kind) {
        case 1:
        case 3:
            layout = LayoutKind::KindBlock13;
            break;
        case 4:
            layout = LayoutKind::KindBlock4;
            break;
        case 5:
            layout = LayoutKind::KindBlock5;
            break;
        default:
            break;
    }
    BlockPlan p{kKindClass, static_cast<uint16_t>(kind << 12), descriptorOffsetOf(layout, v_),
                blankTables(tableCountOf(layout, v_))};
    if (kind == 2 || kind == 6) {
        // Kinds without a conversion: any layout of their own.
        p.descriptorOffset = 20 + random(0, 10);
        p.tables = blankTables(random(1, 15));
    }
    p.tables[0] = some(random(1, 8));
    return p;
}

BlockPlan Generator::systemPlan(int kind, int number) {
    const uint16_t key = static_cast<uint16_t>((kind << 12) | number);
    LayoutKind layout;
    switch (kind) {
        case 0:
            layout = LayoutKind::System0;
            break;
        case 1:
            layout = LayoutKind::System1;
            break;
        case 3:
            layout = LayoutKind::System3;
            break;
        case 4:
            layout = LayoutKind::System4;
            break;
        case 5:
            layout = LayoutKind::System5;
            break;
        default: {
            BlockPlan p{kSystemClass, key, 30 + random(0, 20), blankTables(random(1, 15))};
            p.tables[0] = some(random(1, 9));
            return p;
        }
    }
    BlockPlan p{kSystemClass, key, descriptorOffsetOf(layout, v_),
                blankTables(tableCountOf(layout, v_))};
    auto& t = p.tables;
    const bool v58 = v_ == kVersion58;
    switch (kind) {
        case 0:
            t[2] = some(v58 ? 2 : 4);
            t[3] = some(width(36, 58));
            t[4] = some(random(1, 5));
            if (!v58)
                t[6] = some(9), t[7] = some(9), t[8] = some(2);
            break;
        case 1:
            t[5] = some(width(4, 5));
            t[6] = some(width(18, 19));
            t[7] = some(width(36, 58));
            if (!v58)
                t[8] = some(9), t[9] = {0, 2};
            if (is510())
                t[10] = {t[5].entries, 3};
            break;
        case 3:
            t[5] = some(width(6, 7));
            t[6] = some(width(20, 21));
            t[7] = some(width(36, 58));
            if (!v58)
                t[12] = some(9), t[13] = {0, 2};
            if (is510())
                t[14] = {t[5].entries, 3};
            break;
        case 4:
            t[0] = some(6);
            t[6] = some(width(8, 13));
            t[7] = some(width(22, 26));
            t[9] = some(width(36, 58));
            t[11] = some(width(32, 64));
            if (!v58)
                t[12] = some(9), t[13] = {0, 2};
            if (is510())
                t[14] = {t[6].entries, 3}, t[15] = {0, 2};
            break;
        case 5:
            t[0] = some(v58 ? 10 : 11);
            if (v58) {
                t[1] = {random(1, o_.maxEntries), 2};
                t[2] = {random(0, 1), 37};
            } else {
                t[1] = {0, 2};
                t[2] = {1, width(37, 59)};
                if (is510())
                    t[3] = {0, 37};
            }
            break;
        default:
            break;
    }
    return p;
}

BlockPlan Generator::ordinalPlan() {
    BlockPlan p{kOrdinalClass, 0, descriptorOffsetOf(LayoutKind::Ordinal, v_),
                blankTables(tableCountOf(LayoutKind::Ordinal, v_))};
    p.tables[0] = some(width(17, 18));
    p.tables[1] = some(15);
    p.tables[2] = some(13);
    p.tables[3] = some(13);
    p.tables[4] = some(14);
    return p;
}

// Adds a block with random fixed-part words (a quarter of them zero) and random table data.
int Generator::emit(const BlockPlan& plan) {
    BlockPlan p = plan;
    for (int w = 4; w < p.descriptorOffset; ++w)
        p.fixed.emplace_back(w, static_cast<uint16_t>(random(0, 3) == 0 ? 0 : random(0, 0xFFFF)));
    for (Table& t : p.tables) {
        t.data.resize(t.entries * t.words);
        for (uint16_t& d : t.data)
            d = static_cast<uint16_t>(random(0, 0xFFFF));
    }
    return builder_.add(p);
}

int Generator::run() {
    const int systems = random(1, std::clamp(o_.maxSystems, 1, 16));
    const int ordinals = random(1, std::clamp(o_.maxOrdinals, 1, 54));
    static constexpr int kKinds[] = {0, 1, 3, 4, 5, 0, 1, 3, 4, 5, 2, 6};
    std::vector<int> kinds;
    for (int i = 0; i < systems; ++i)
        kinds.push_back(kKinds[random(0, 11)]);

    // One kind block per kind in use, kinds 1 and 3 sharing one that carries either key.
    std::vector<int> kindBlocks;
    auto uses = [&](int k) { return std::find(kinds.begin(), kinds.end(), k) != kinds.end(); };
    for (int k : {0, 2, 4, 5, 6})
        if (uses(k))
            kindBlocks.push_back(k);
    if (uses(1) || uses(3))
        kindBlocks.push_back(uses(1) && (!uses(3) || random(0, 1)) ? 1 : 3);

    std::vector<int> numbers(systems);
    for (int i = 0; i < systems; ++i)
        numbers[i] = i + 1;
    std::shuffle(numbers.begin(), numbers.end(), rng_);

    emit(headerPlan());
    for (int k : kindBlocks)
        emit(kindPlan(k));
    for (int i = 0; i < systems; ++i)
        emit(systemPlan(kinds[i], numbers[i]));
    for (int i = 0; i < ordinals; ++i)
        emit(ordinalPlan());
    const int words = builder_.finish(ordinals, systems);
    img_.setWord(5,
                 static_cast<uint16_t>(random(0, 2) == 0 ? (random(0, 1) ? 4 : 8) : random(0, 15)));
    return words;
}

}  // namespace

int generateCodeplug(CodeplugImage& img, const CodeplugGeneratorOptions& options) {
    return Generator(img, options).run();
}

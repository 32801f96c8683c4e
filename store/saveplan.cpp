#include "store/saveplan.h"

#include <algorithm>

#include "store/format.h"
#include "store/guard.h"

namespace {

void add(StorePlan& plan, StoreStep::Kind kind, std::uint32_t offset = 0, std::uint32_t length = 0) {
  plan.steps[plan.count++] = {kind, offset, length, {}};
}

void addBytes(StorePlan& plan, std::uint32_t offset, const std::uint8_t* bytes, std::uint32_t length) {
  StoreStep& step = plan.steps[plan.count++];
  step = {StoreStep::Kind::Bytes, offset, length, {}};
  std::copy(bytes, bytes + length, step.bytes);
}

std::uint32_t withByte(std::uint32_t value, unsigned index, std::uint32_t byte) {
  const unsigned shift = 8 * index;
  return (value & ~(0xFFu << shift)) | (byte << shift);
}

std::uint32_t byteOf(std::uint32_t value, unsigned index) { return (value >> (8 * index)) & 0xFF; }

}  // namespace

StorePlan planSave(const std::uint8_t* current, std::size_t length, std::uint32_t imageLength) {
  StorePlan plan;
  const IsdSlot slot = length >= 4 ? isdSlotOf(current) : IsdSlot::Vacant;
  const auto ours = static_cast<std::uint32_t>(guardOwnedLength(current, length));
  const std::uint32_t oldWord =
      length >= IsdTotalLengthOffset + 4 ? isdGetU32(current + IsdTotalLengthOffset) : 0;
  const std::uint32_t newWord = imageLength;
  std::uint32_t claim = std::max(ours, newWord);

  if (slot != IsdSlot::Unfinished) {
    addBytes(plan, 0, IsdUnfinishedSignature, 4);
    add(plan, StoreStep::Kind::Sync);
  }
  std::uint32_t word = oldWord;
  if (newWord > oldWord) {
    // Most significant byte first: every value on the way lies at or above
    // the old one, so the old bytes stay claimed until they are overwritten.
    for (unsigned i = 4; i-- > 0;) {
      if (byteOf(word, i) == byteOf(newWord, i)) continue;
      word = withByte(word, i, byteOf(newWord, i));
      const auto byte = static_cast<std::uint8_t>(byteOf(newWord, i));
      addBytes(plan, static_cast<std::uint32_t>(IsdTotalLengthOffset + i), &byte, 1);
      claim = std::max(claim, word);
    }
    add(plan, StoreStep::Kind::Sync);
  }
  if (ours > newWord) {
    add(plan, StoreStep::Kind::Zeros, newWord, ours - newWord);
    add(plan, StoreStep::Kind::Sync);
  }
  // The body carries the new length word; written least significant byte
  // first over a larger one, every value on the way lies at or above the new
  // length, and what lies beyond it is already clear.
  for (unsigned i = 0; i < 4 && word > newWord; ++i) {
    word = withByte(word, i, byteOf(newWord, i));
    claim = std::max(claim, word);
  }
  add(plan, StoreStep::Kind::Image, 4, newWord - 4);
  add(plan, StoreStep::Kind::Sync);
  addBytes(plan, 0, IsdSignature, 4);
  add(plan, StoreStep::Kind::Sync);
  plan.writeEnd = std::max(ours, newWord);
  plan.claimEnd = claim;
  return plan;
}

StorePlan planRemoval(const std::uint8_t* current, std::size_t length) {
  StorePlan plan;
  if (length < 4) return plan;
  const IsdSlot slot = isdSlotOf(current);
  if (slot != IsdSlot::Complete && slot != IsdSlot::Unfinished) return plan;
  const auto ours = static_cast<std::uint32_t>(guardOwnedLength(current, length));
  const bool keepsFraming = slot == IsdSlot::Complete && isdFramingAddsUp(current, length);
  if (!keepsFraming && ours > IsdTotalLengthOffset + 4) {
    // Clear from the far end of the length word on first, so that the word
    // claims every byte until they are all clear.
    const std::uint32_t after = IsdTotalLengthOffset + 4;
    add(plan, StoreStep::Kind::Zeros, after, ours - after);
    add(plan, StoreStep::Kind::Sync);
    add(plan, StoreStep::Kind::Zeros, 4, after - 4);
    add(plan, StoreStep::Kind::Sync);
  }
  add(plan, StoreStep::Kind::Zeros, 0, 4);
  add(plan, StoreStep::Kind::Sync);
  plan.writeEnd = keepsFraming ? 4 : ours;
  plan.claimEnd = plan.writeEnd;
  return plan;
}

#include "engine/Threadlist.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/Sequence.h"

TEST(CommThreadList, EmptyPopIsNullClearFreesNothingDeleteAllFreesAll) {
  TCommThreadList queue;
  EXPECT_EQ(queue.PopFirst(), nullptr);
  auto a = std::make_unique<TSequenceObject>(skExecuteSequence);
  auto b = std::make_unique<TSequenceObject>(skStopCommunication);
  queue.Push(a.get());
  queue.Push(b.get());
  queue.Push(a.get());  // no duplicate check
  EXPECT_EQ(queue.Count(), 3);
  EXPECT_EQ(queue.PopFirst(), a.get());
  queue.Clear();
  EXPECT_EQ(queue.Count(), 0);
  // Still alive and usable after Clear.
  EXPECT_EQ(b->GetKind(), skStopCommunication);
  // DeleteAll frees what it holds (the leak checker of the sanitizer build sees the rest).
  queue.Push(new TSequenceObject(skExecuteSequence));
  queue.Push(new TSequenceObject(skStopCommunication));
  queue.DeleteAll();
  EXPECT_EQ(queue.Count(), 0);
}

TEST(CommThreadList, ManyProducersOneConsumerEachObjectOnceInProducerOrder) {
  constexpr int kProducers = 4;
  constexpr int kPerProducer = 2000;
  TCommThreadList queue;
  // Each object's kind field is unused here; its identity is its position in `objects`.
  std::vector<std::unique_ptr<TSequenceObject>> objects;
  for (int i = 0; i < kProducers * kPerProducer; ++i)
    objects.push_back(std::make_unique<TSequenceObject>(skExecuteSequence));
  std::unordered_map<TSequenceObject*, int> positionOf;
  for (size_t k = 0; k < objects.size(); ++k)
    positionOf[objects[k].get()] = static_cast<int>(k);
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p)
    producers.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i)
        queue.Push(objects[p * kPerProducer + i].get());
    });
  std::vector<int> lastSeen(kProducers, -1);
  std::vector<int> seen(objects.size(), 0);
  int received = 0;
  while (received < kProducers * kPerProducer) {
    TSequenceObject* item = queue.PopFirst();
    if (!item) {
      std::this_thread::yield();
      continue;
    }
    ++received;
    auto found = positionOf.find(item);
    ASSERT_NE(found, positionOf.end());
    int position = found->second;
    ++seen[position];
    int producer = position / kPerProducer;
    EXPECT_GT(position % kPerProducer, lastSeen[producer]);
    lastSeen[producer] = position % kPerProducer;
  }
  for (auto& t : producers)
    t.join();
  for (int count : seen)
    EXPECT_EQ(count, 1);
  EXPECT_EQ(queue.PopFirst(), nullptr);
}

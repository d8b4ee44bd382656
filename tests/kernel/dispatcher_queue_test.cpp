// Nodes, the dispatcher's numbering and routing, and queues with the tasks waiting on them,
// also across threads.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "kernel/message_dispatcher.h"
#include "kernel/message_text.h"
#include "kernel/queue.h"
#include "kernel_test_support.h"

namespace tolvek {
namespace {

using testing::ExpectError;
using testing::kEventually;
using testing::TMainSchedulerFixture;

// Messages of the process's pool that are out of it.
uint32_t MessagesInUse() { return MxMessagePool().CreatedCount() - MxMessagePool().FreeCount(); }

// A node that keeps what it receives.
class TRecordingNode : public TMxMessageNode {
public:
  TRecordingNode() {
    OnMsgEvent = [this](TMxMessage* message) { received.push_back(message); };
  }
  ~TRecordingNode() override {
    for (TMxMessage* message : received) FreeMessage(message);
  }
  std::vector<TMxMessage*> received;
};

TEST(Dispatcher, NumbersNodesAndReusesTheLowestFreeNumber) {
  TMxMessageDispatcher dispatcher;
  std::vector<std::unique_ptr<TMxMessageNode>> nodes;
  for (int i = 0; i < 6; ++i) {
    nodes.push_back(std::make_unique<TMxMessageNode>());
    nodes.back()->LogOn(dispatcher);
    EXPECT_EQ(nodes.back()->Number(), i);
  }
  nodes[3]->LogOff();
  nodes[1].reset();  // destroying a node logs it off
  EXPECT_EQ(dispatcher.RegisteredCount(), 4u);
  TMxMessageNode first, second, third;
  first.LogOn(dispatcher);
  second.LogOn(dispatcher);
  third.LogOn(dispatcher);
  EXPECT_EQ(first.Number(), 1);
  EXPECT_EQ(second.Number(), 3);
  EXPECT_EQ(third.Number(), 6);
  ExpectError([&] { first.LogOn(dispatcher); }, "TMxMessageNode.LogOn: node is already logged on");
  nodes[3]->LogOn(dispatcher);
  EXPECT_EQ(nodes[3]->Number(), 7);
}

TEST(Dispatcher, LogOffOfANodeNotLoggedOnFails) {
  TMxMessageNode node;
  ExpectError([&] { node.LogOff(); }, "TMxMessageNode.LogOff: node is not logged on");
}

TEST(Dispatcher, OneNodePerDomain) {
  TMxMessageDispatcher dispatcher;
  TMxMessageNode gateway, second;
  gateway.LogOn(dispatcher, 22);
  EXPECT_EQ(gateway.Domain(), 22);
  EXPECT_EQ(gateway.Number(), 0);
  ExpectError([&] { second.LogOn(dispatcher, 22); }, "RegisterDomain: domain ID conflict");
  EXPECT_FALSE(second.LoggedOn());
  gateway.LogOff();
  second.LogOn(dispatcher, 22);
  EXPECT_EQ(dispatcher.RegisteredCount(), 0u) << "domain nodes have no node number";
}

TEST(Dispatcher, RoutesByNodeOrDomainAndStampsTheSender) {
  TMxMessageDispatcher dispatcher;
  TRecordingNode sender, receiver, gateway;
  sender.LogOn(dispatcher);
  receiver.LogOn(dispatcher);
  gateway.LogOn(dispatcher, 22);

  TMxMessage* local = NewMessage();
  local->SetReceiver(receiver.Number(), 0, 5);
  sender.SendMessage(local);
  ASSERT_EQ(receiver.received.size(), 1u);
  EXPECT_EQ(local->SenderNode, sender.Number());
  EXPECT_EQ(local->SenderDomain, 0);

  TMxMessage* remote = NewMessage();
  remote->SetReceiver(9, 22, 5);
  sender.SendMessage(remote);
  ASSERT_EQ(gateway.received.size(), 1u);
  EXPECT_EQ(remote->ReceiverDomain, 0) << "cleared on delivery";
  EXPECT_EQ(remote->ReceiverNode, 9);

  // The gateway forwards into this process as domain 22 and keeps the sender node it set.
  TMxMessage* inbound = NewMessage();
  inbound->SenderNode = 40;
  inbound->SetReceiver(receiver.Number(), 0, 6);
  gateway.SendMessage(inbound);
  ASSERT_EQ(receiver.received.size(), 2u);
  EXPECT_EQ(inbound->SenderNode, 40);
  EXPECT_EQ(inbound->SenderDomain, 22);
}

TEST(Dispatcher, UnroutableMessageIsFreedAndTheSenderTold) {
  TMxMessageDispatcher dispatcher;
  TRecordingNode sender, gone, silent;
  sender.LogOn(dispatcher);
  gone.LogOn(dispatcher);
  silent.OnMsgEvent = nullptr;
  silent.LogOn(dispatcher);
  gone.LogOff();
  struct Case {
    uint16_t node;
    uint8_t domain;
    const char* error;
  };
  const Case cases[] = {
      {1, 0, "Message receiver node doesn't exist"},    // a free slot
      {500, 0, "Message receiver node doesn't exist"},  // beyond the table
      {0, 23, "Message receiver domain doesn't exist"},
      {2, 0, "TMxMessageNode: OnMsgEvent not assigned"},
  };
  for (const Case& c : cases) {
    const uint32_t inUse = MessagesInUse();
    TMxMessage* message = NewMessage();
    message->SetReceiver(c.node, c.domain, 0);
    ExpectError([&] { sender.SendMessage(message); }, c.error);
    EXPECT_EQ(MessagesInUse(), inUse) << c.error << ": the message went back";
  }
}

using QueueTest = TMainSchedulerFixture;

TEST_F(QueueTest, LogOnLogOffAndSendingNeedALoggedOnQueue) {
  TMxQueue queue;
  ExpectError([&] { queue.LogOff(); }, "TMxQueue.LogOff: Queue is not logged on");
  const uint32_t inUse = MessagesInUse();
  ExpectError([&] { queue.SendMessage(NewMessage()); }, "TMxQueue.SendMessage: Queue is not logged on");
  EXPECT_EQ(MessagesInUse(), inUse);
  TMxMessageNode* node = queue.LogOn();
  EXPECT_EQ(node, queue.Node());
  ExpectError([&] { queue.LogOn(); }, "TMxQueue.LogOn: Queue is already logged on");
  queue.LogOff();
  EXPECT_EQ(queue.Node(), nullptr);
}

TEST_F(QueueTest, MessageWakesTheWaitingTaskInOrder) {
  TMxQueue queue, replies;
  queue.LogOn();
  replies.LogOn();
  std::vector<std::string> seen;
  TMxTask task;
  TMessageReader reader;
  task.Start();
  task.WaitFor(queue, kMxPoll);
  EXPECT_EQ(task.WaitResult(), wrUnavailable);
  task.WaitFor(queue, kMxInfinite);
  task.OnExecute = [&](TMxTask& t) {
    if (queue.Count() == 0) {
      t.WaitFor(queue, kMxInfinite);
      return;
    }
    EXPECT_EQ(t.WaitResult(), wrOk);
    reader.SetMessage(queue.GetMessage());
    seen.push_back(reader.GetCommand());
    reader.ReleaseMessage();
  };
  for (const char* command : {"first", "second", "third"}) {
    TMessageWriter writer;
    writer.NewMessage()->SetReceiver(queue.Node()->Number(), 0, 1);
    writer.PutCommand(command);
    replies.SendMessage(writer.Message());
  }
  EXPECT_EQ(queue.Count(), 3u);
  EXPECT_EQ(task.State(), tsReady);
  RunReady();
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(task.State(), tsWaiting);
}

TEST_F(QueueTest, RefusesAMessageInUseAndFreesWhatItHoldsWhenDestroyed) {
  const uint32_t inUse = MessagesInUse();
  TMxTask waiter;
  {
    TMxQueue queue, other;
    TMxMessage* message = NewMessage();
    queue.PutMessage(message);
    ExpectError([&] { other.PutMessage(message); }, "PutMessage Error");
    queue.PutMessage(NewMessage());
    TMxQueue empty;
    waiter.Start();
    waiter.WaitFor(empty, kMxInfinite);
  }
  EXPECT_EQ(waiter.WaitResult(), wrReleased);
  EXPECT_EQ(MessagesInUse(), inUse) << "both queued messages went back to the pool";
}

// A task on the main scheduler and one on a named scheduler play ping-pong through two
// queues; every message arrives, in order, and steady traffic creates no new messages.
TEST_F(QueueTest, PingPongAcrossThreadsRecyclesMessages) {
  TMxScheduler talk("PongScheduler");
  TMxQueue pingQueue, pongQueue;
  pingQueue.LogOn();
  pongQueue.LogOn();
  constexpr int kWarmUp = 20, kRounds = 2000;
  std::atomic<int> pongs{0};
  int pings = 0;
  bool inOrder = true;
  uint32_t createdAfterWarmUp = 0;

  TMxTask pong(talk);
  pong.OnExecute = [&](TMxTask& t) {
    while (TMxMessage* message = pongQueue.GetMessage()) {
      TMxMessage* reply = NewMessage();
      SetReplyTo(*reply, *message);
      reply->SetString(message->AsString());
      FreeMessage(message);
      pongQueue.SendMessage(reply);
      ++pongs;
    }
    t.WaitFor(pongQueue, kMxInfinite);
  };
  TMxTask ping;
  auto send = [&](int number) {
    TMxMessage* message = NewMessage();
    message->SetReceiver(pongQueue.Node()->Number(), 0, 7);
    message->SetString(std::to_string(number));
    pingQueue.SendMessage(message);
  };
  ping.OnExecute = [&](TMxTask& t) {
    if (TMxMessage* reply = pingQueue.GetMessage()) {
      inOrder = inOrder && reply->AsString() == std::to_string(pings) && reply->Kind == 7;
      FreeMessage(reply);
      if (++pings == kWarmUp) createdAfterWarmUp = MxMessagePool().CreatedCount();
      if (pings == kRounds) {
        t.Terminate();
        return;
      }
      send(pings);
    }
    t.WaitFor(pingQueue, kMxInfinite);
  };
  pong.Start();
  ping.Start();
  send(0);
  ASSERT_TRUE(RunUntil([&] { return ping.State() == tsTerminated; }));
  talk.StopThread();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(pongs.load(), kRounds);
  EXPECT_EQ(MxMessagePool().CreatedCount(), createdAfterWarmUp);
  EXPECT_TRUE(errors.Reports().empty());
}

// A thread keeps sending to a queue's node number while the queue is destroyed: each message is
// either delivered (and freed with the queue) or refused and freed, never lost or touched after
// the queue is gone.
TEST(QueueLifetime, DestroyedWhileAnotherThreadSendsToIt) {
  const uint32_t inUse = MessagesInUse();
  TMxQueue sender;
  sender.LogOn();
  for (int round = 0; round < 20; ++round) {
    auto target = std::make_unique<TMxQueue>();
    const uint16_t number = target->LogOn()->Number();
    std::atomic<int> sent{0}, refused{0};
    std::atomic<bool> stop{false};
    std::thread thread([&] {
      while (!stop.load()) {
        TMxMessage* message = NewMessage();
        message->SetReceiver(number, 0, 0);
        try {
          sender.SendMessage(message);
          ++sent;
        } catch (const EError& e) {
          EXPECT_EQ(e.Message(), "Message receiver node doesn't exist");
          ++refused;
          stop = true;
        }
      }
    });
    while (sent.load() < 10 && !stop.load()) std::this_thread::yield();
    target.reset();
    stop = true;
    thread.join();
  }
  EXPECT_EQ(MessagesInUse(), inUse) << "every message came back to the pool";
}

}  // namespace
}  // namespace tolvek

// The Talk client: the process-wide list of request pattern classes, whose position gives each
// class its id, and the pool of actors.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "comm/talk_pattern.h"
#include "kernel/message_text.h"

namespace tolvek {

class TTalkActorImplementation;

class TTalkClient {
public:
  static constexpr size_t kMaxPatternClasses = 256;
  // The identifier of the Talk service's own login request.
  static constexpr uint16_t kLoginRequestId = 0xFF;

  TTalkClient() = default;
  // Frees every actor it created, pooled or not.
  ~TTalkClient();
  TTalkClient(const TTalkClient&) = delete;
  TTalkClient& operator=(const TTalkClient&) = delete;

  const char* ClassName() const { return "TTalkClient"; }

  // Appends a class and stores its id (position + 1) in it; "%s.RegisterTalkPattern: pattern
  // list is full", "%s.RegisterTalkPattern: %s is already registerd".
  void RegisterTalkPattern(TTalkPatternClass& patternClass);
  // The fifteen classes of the command set, in the order that fixes their ids 1 to 15.
  void RegisterStandardPatterns();
  // "%s.GetTalkPattern: no pattern with id %d" for an id outside the list.
  TTalkPatternClass& GetTalkPattern(uint32_t id) const;
  size_t PatternCount() const { return patterns_.size(); }

  // The most recently returned idle actor, or a new one (needs the main scheduler).
  TTalkActor* GetActor();
  // Clears the actor and pools it; "wrong actor class type" for an actor of another kind.
  void ReturnActor(TTalkActor* actor);
  size_t IdleActorCount() const { return idle_.size(); }

  // Appends the actor's current record to a request batch: identifier, device number, frame.
  void WriteRecord(TTalkActor& actor, TMessageWriter& writer) const;
  // Reads the current record's answer from an answer batch; "TServicePattern.GetResponseData:
  // wrong pattern id" when the answer's identifier is not the record's.
  void ReadRecord(TTalkActor& actor, TMessageReader& reader) const;

private:
  std::vector<TTalkPatternClass*> patterns_;
  std::vector<std::unique_ptr<TTalkActorImplementation>> actors_;
  std::vector<TTalkActorImplementation*> idle_;
};

}  // namespace tolvek

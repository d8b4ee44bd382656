// Dispatching a request frame to its table row and turning refusals into status answers.
#include "command_table.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

void TCommandTable::Add(std::span<const TCommandRow> rows) {
  for (const TCommandRow& row : rows) {
    for (const TCommandRow& have : rows_)
      if (have.command == row.command && have.selector == row.selector)
        throw EError(StrFormat("command $%.2X selector %d is already in the table", row.command,
                               row.selector));
    rows_.push_back(row);
  }
}

const TCommandRow* TCommandTable::Find(const std::vector<uint8_t>& frame) const {
  const TCommandRow* any = nullptr;
  for (const TCommandRow& row : rows_) {
    if (row.command != frame[0]) continue;
    if (row.selector < 0)
      any = &row;
    else if (frame.size() > 1 && frame[1] == row.selector)
      return &row;
  }
  return any;
}

TCommandResult TCommandTable::Execute(const std::vector<uint8_t>& frame, TDriveModel& drive,
                                      TSimClock::time_point now) const {
  TCommandResult result;
  const uint8_t command = frame[0];
  const TDriveConfig& config = drive.Config();
  TTalkAnswer answer(config.addressWidth);
  try {
    result.row = Find(frame);
    if (!result.row) throw EDriveStatus{dsUnknownCommand};
    if (frame.size() > config.maxFrame) throw EDriveStatus{dsFrameTooLong};
    if (!result.row->whileStarting) drive.RequireReady(now);
    TTalkRequest request(frame, config.addressWidth, config.dataWidth);
    TCommandContext context{drive, request, answer, now};
    result.row->handler(context);
  } catch (const EDriveStatus& refused) {
    result.final = {command, refused.status};
    return result;
  }
  if (result.row->slow) result.interim = {command, dsInProgress};
  result.final = {command, dsOk};
  result.final.insert(result.final.end(), answer.Data().begin(), answer.Data().end());
  return result;
}

}  // namespace tolvek

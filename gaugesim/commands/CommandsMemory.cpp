// Memory read, write and erase, the boot switch, test routines and LCD rows.
#include <array>

#include "gaugesim/commands/CommandTable.h"
#include "gaugesim/commands/RunTestCommand.h"
#include "gaugesim/model/Gauge.h"
#include "qx5_dll/usb/CommandCodes.h"

namespace qx5::sim {
namespace {

constexpr std::size_t kAddress = 8;
constexpr std::size_t kCount = 12;
constexpr std::size_t kData = 13;
constexpr std::size_t kWriteMax = kPacketSize - kData;  // 51
constexpr double kScreenRefresh = 0.5;                  // seconds a drawn frame stays

void readMemory(Gauge& gauge, const Request& request, Reply& reply) {
  const std::size_t count = request.u8(kCount);
  if (count > kReplyDataMax) return reply.fail();
  std::array<std::uint8_t, kReplyDataMax> bytes{};
  gauge.memory.read(request.u32be(kAddress), bytes.data(), count);
  reply.data(bytes.data(), count);
}

void writeMemory(Gauge& gauge, const Request& request, Reply& reply) {
  const std::size_t count = request.u8(kCount);
  const std::uint8_t* data = request.span(kData, count);
  if (count > kWriteMax || !data) return reply.fail();
  const std::uint32_t address = request.u32be(kAddress);
  const bool done = !gauge.config().faults.refuseWrite &&
                    gauge.memory.write(address, data, count, gauge.memoryMode());
  if (done && address < Memory::kFlashSize) gauge.noteFlashChanged();
  reply.u8(8, done ? 1 : 0);
}

void eraseMemory(Gauge& gauge, const Request& request, Reply& reply) {
  const std::uint32_t address = request.u32be(kAddress);
  const bool done = !gauge.config().faults.refuseErase &&
                    gauge.memory.erase(address, request.u16(kCount), gauge.memoryMode());
  if (done && address < Memory::kFlashSize) gauge.noteFlashChanged();
  reply.u8(8, done ? 1 : 0);
}

void doBoot(Gauge& gauge, const Request& request, Reply& reply) {
  switch (request.u8(8)) {
    case 0:
      gauge.enterBootloader();
      break;
    case 1:
      gauge.startApplication();
      break;
    default:
      reply.fail();
  }
}

void runTestCommand(Gauge& gauge, const Request& request, Reply& reply) {
  const std::size_t count = request.u8(kCount);
  const std::uint8_t* input = request.span(kData, count);
  if (!input) return reply.fail();
  std::array<std::uint8_t, kReplyDataMax> out{};
  const int produced = runTest(gauge, request.u32be(kAddress), input, count, out.data());
  if (produced < 0) return reply.fail();
  reply.data(out.data(), static_cast<std::size_t>(produced));
}

void lcdRow(Gauge& gauge, const Request& request, Reply& reply) {
  const int row = request.u8(8);
  if (row >= Lcd::kHeight) return reply.fail();
  // A capture reads row 0 first: draw a fresh frame then, so the 64 rows belong together.
  const double now = gauge.uptimeSeconds();
  if (row == 0 || !gauge.screenDrawnAt || now - *gauge.screenDrawnAt > kScreenRefresh ||
      now < *gauge.screenDrawnAt) {
    gauge.renderScreen();
    gauge.screenDrawnAt = now;
  }
  reply.data(gauge.lcd.row(row), Lcd::kRowBytes);
}

constexpr CommandEntry kCommands[] = {
    {command::GetLcdRow, "GetLcdRow", lcdRow, 9, RunsIn::Both, false},
    {command::UploadMemory, "UploadMemory", readMemory, 13, RunsIn::Both, false},
    {command::DownloadMemory, "DownloadMemory", writeMemory, 13, RunsIn::Both, true},
    {command::EraseMemory, "EraseMemory", eraseMemory, 14, RunsIn::Both, true},
    {command::DoBoot, "DoBoot", doBoot, 9, RunsIn::Both, true},
    {command::RunTest, "RunTest", runTestCommand, 13, RunsIn::Application, false},
};

}  // namespace

std::span<const CommandEntry> memoryCommands() { return kCommands; }

}  // namespace qx5::sim

// Decoding and encoding a ~20 MB configuration-shaped document in the text syntax, against
// RapidJSON (DOM parse, writer) and nlohmann::json on the same content as JSON, in one run.
// Counters: bytes_per_second (throughput) and peak_MB: how much the resident memory of a fresh
// process grows while it decodes the text and holds the result (measured in a child process
// per library, so that no allocator cache of an earlier run hides anything).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "script/object_text.h"
#include "script/sl_array.h"
#include "script/sl_dictionary.h"
#include "script/sl_scalar.h"

namespace {

using namespace tolvek;

constexpr size_t kTargetSize = 20u << 20;

// Builds the same document as a value graph and as JSON.
class TDocumentMaker {
public:
  TDocumentMaker() : random_(20261211) {}

  void Make(TRef<TSLDictionary>& value, nlohmann::json& json) {
    value = MakeRef<TSLDictionary>();
    json = nlohmann::json::object();
    TRef<TSLArray> devices = MakeRef<TSLArray>();
    nlohmann::json jsonDevices = nlohmann::json::array();
    TSLObjectText codec;
    size_t size = 0;
    for (int i = 0; size < kTargetSize; ++i) {
      TRef<TSLDictionary> device = MakeRef<TSLDictionary>();
      nlohmann::json jsonDevice = nlohmann::json::object();
      FillDevice(*device, jsonDevice, i);
      size += codec.ObjToStr(device.Get()).size();
      devices->Append(device.Get());
      jsonDevices.push_back(std::move(jsonDevice));
    }
    value->SetObjWithName("Devices", devices.Get());
    json["Devices"] = std::move(jsonDevices);
    value->SetStrWithName("Version", "1.4.2");
    json["Version"] = "1.4.2";
  }

private:
  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  std::string Word() {
    static const char* const kParts[] = {"Max", "Min", "Velocity", "Current", "Gain", "Offset",
                                         "Limit", "Filter", "Time", "Position", "Ramp", "Mode",
                                         "Scale", "Error", "Window", "Speed", "Home", "Torque"};
    std::string word;
    for (int n = Between(1, 3); n > 0; --n) word += kParts[Between(0, 17)];
    return word;
  }

  std::string Text() {
    static const char* const kWords[] = {"axis", "drive", "linear", "motor", "encoder", "stage",
                                         "left", "right", "main", "spindle", "phase", "A"};
    std::string text;
    for (int n = Between(1, 4); n > 0; --n) {
      if (!text.empty()) text += ' ';
      text += kWords[Between(0, 11)];
    }
    return text;
  }

  // One scalar under `name`, in both forms.
  void AddScalar(TSLDictionary& dict, nlohmann::json& json, const std::string& name) {
    switch (Between(0, 3)) {
      case 0: {
        const std::string text = Text();
        dict.SetStrWithName(name, text);
        json[name] = text;
        break;
      }
      case 1: {
        const int64_t v = Between(-100000, 3000000);
        dict.SetInt64WithName(name, v);
        json[name] = v;
        break;
      }
      case 2: {
        const double v = Between(-500000, 500000) / 64.0;
        dict.SetDoubleWithName(name, v);
        json[name] = v;
        break;
      }
      default: {
        TRef<TSLBoolean> b = MakeRef<TSLBoolean>(Between(0, 1) == 1);
        dict.SetObjWithName(name, b.Get());
        json[name] = b->GetValue();
      }
    }
  }

  // A dictionary of 10 to 50 keys, some holding nested dictionaries or arrays of records.
  void FillDict(TSLDictionary& dict, nlohmann::json& json, int depth) {
    const int keys = Between(10, 50);
    for (int k = 0; k < keys; ++k) {
      const std::string name = Word() + std::to_string(k);
      const int kind = Between(0, 19);
      if (kind == 0 && depth < 3) {
        TRef<TSLDictionary> child = MakeRef<TSLDictionary>();
        nlohmann::json jsonChild = nlohmann::json::object();
        FillDict(*child, jsonChild, depth + 1);
        dict.SetObjWithName(name, child.Get());
        json[name] = std::move(jsonChild);
      } else if (kind == 1 && depth < 3) {
        AddRecords(dict, json, name);
      } else {
        AddScalar(dict, json, name);
      }
    }
  }

  // An array of dictionaries that share one set of keys.
  void AddRecords(TSLDictionary& dict, nlohmann::json& json, const std::string& name) {
    TRef<TSLArray> array = MakeRef<TSLArray>();
    nlohmann::json jsonArray = nlohmann::json::array();
    const int count = Between(3, 20);
    for (int r = 0; r < count; ++r) {
      TRef<TSLDictionary> record = MakeRef<TSLDictionary>();
      nlohmann::json jsonRecord = nlohmann::json::object();
      record->SetInt64WithName("Index", r);
      jsonRecord["Index"] = r;
      record->SetStrWithName("Label", Text());
      jsonRecord["Label"] = record->GetStrWithName("Label");
      const double value = Between(0, 1000000) / 1000.0;
      record->SetDoubleWithName("Value", value);
      jsonRecord["Value"] = value;
      array->Append(record.Get());
      jsonArray.push_back(std::move(jsonRecord));
    }
    dict.SetObjWithName(name, array.Get());
    json[name] = std::move(jsonArray);
  }

  void FillDevice(TSLDictionary& device, nlohmann::json& json, int index) {
    device.SetStrWithName("Name", "Axis " + std::to_string(index));
    json["Name"] = "Axis " + std::to_string(index);
    FillDict(device, json, 0);
  }

  std::mt19937 random_;
};

struct TDocuments {
  std::string syntaxText;
  std::string jsonText;
};

const TDocuments& Documents() {
  static const TDocuments documents = [] {
    TDocuments d;
    TRef<TSLDictionary> value;
    nlohmann::json json;
    TDocumentMaker().Make(value, json);
    d.syntaxText = ObjToStr(value.Get());
    d.jsonText = json.dump();
    TRefObjManager::Instance().ReleasePool();
    return d;
  }();
  return documents;
}

// A line "<key>: <n> kB" of /proc/self/status, in bytes.
double StatusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::strlen(key) + 1)) * 1024;
  return 0;
}

std::map<std::string, double>& PeakMB() {
  static std::map<std::string, double> peaks;
  return peaks;
}

// In a fresh process: decode the file with one library and print the growth of the peak
// resident memory in MB.
int MeasureMemory(const std::string& library, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  const double before = StatusBytes("VmRSS:");
  bool ok = false;
  if (library == "syntax") {
    TSLObjectText codec;
    TRef<TSLObject> value = codec.StrToObj(text);
    ok = value.Get() != nullptr;
  } else if (library == "rapidjson") {
    rapidjson::Document doc;
    doc.Parse(text.c_str(), text.size());
    ok = doc.IsObject();
  } else if (library == "nlohmann") {
    nlohmann::json json = nlohmann::json::parse(text);
    ok = json.is_object();
  }
  std::printf("%f\n", (StatusBytes("VmHWM:") - before) / (1 << 20));
  return ok ? 0 : 1;
}

void MeasureAllMemory() {
  const std::string syntaxFile = "/tmp/tolvek_syntax_bench.stx";
  const std::string jsonFile = "/tmp/tolvek_syntax_bench.json";
  std::ofstream(syntaxFile, std::ios::binary) << Documents().syntaxText;
  std::ofstream(jsonFile, std::ios::binary) << Documents().jsonText;
  char self[4096] = {};
  if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return;
  for (const char* library : {"syntax", "rapidjson", "nlohmann"}) {
    const std::string command = std::string(self) + " --measure-memory=" + library + " " +
                                (std::strcmp(library, "syntax") == 0 ? syntaxFile : jsonFile);
    FILE* pipe = ::popen(command.c_str(), "r");
    double mb = -1;
    if (pipe) {
      if (std::fscanf(pipe, "%lf", &mb) != 1) mb = -1;
      ::pclose(pipe);
    }
    PeakMB()[library] = mb;
  }
  std::remove(syntaxFile.c_str());
  std::remove(jsonFile.c_str());
}

void BM_SyntaxDecode(benchmark::State& state) {
  const std::string& text = Documents().syntaxText;
  TSLObjectText codec;
  for (auto _ : state) {
    TRef<TSLObject> value = codec.StrToObj(text);
    benchmark::DoNotOptimize(value.Get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["peak_MB"] = PeakMB()["syntax"];
  state.counters["input_MB"] = static_cast<double>(text.size()) / (1 << 20);
}

void BM_SyntaxEncode(benchmark::State& state) {
  const std::string& text = Documents().syntaxText;
  TSLObjectText codec;
  TRef<TSLObject> value = codec.StrToObj(text);
  for (auto _ : state) {
    std::string out = codec.ObjToStr(value.Get());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_RapidJsonParse(benchmark::State& state) {
  const std::string& text = Documents().jsonText;
  for (auto _ : state) {
    rapidjson::Document doc;
    doc.Parse(text.c_str(), text.size());
    benchmark::DoNotOptimize(doc.IsObject());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["peak_MB"] = PeakMB()["rapidjson"];
  state.counters["input_MB"] = static_cast<double>(text.size()) / (1 << 20);
}

void BM_RapidJsonWrite(benchmark::State& state) {
  const std::string& text = Documents().jsonText;
  rapidjson::Document doc;
  doc.Parse(text.c_str(), text.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_NlohmannParse(benchmark::State& state) {
  const std::string& text = Documents().jsonText;
  for (auto _ : state) {
    nlohmann::json json = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(json.is_object());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["peak_MB"] = PeakMB()["nlohmann"];
}

void BM_NlohmannDump(benchmark::State& state) {
  const std::string& text = Documents().jsonText;
  nlohmann::json json = nlohmann::json::parse(text);
  for (auto _ : state) {
    std::string out = json.dump();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_SyntaxDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RapidJsonParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NlohmannParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SyntaxEncode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RapidJsonWrite)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NlohmannDump)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strncmp(argv[1], "--measure-memory=", 17) == 0)
    return MeasureMemory(argv[1] + 17, argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  MeasureAllMemory();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// The lookups over stored and received header text: a header block and a
// field name, a parameter list and a parameter name, an HTTP date.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "engine/vkhttp.h"
#include "platform/headerlist.h"
#include "platform/httpdate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string in(reinterpret_cast<const char*>(data), size);
  // The first line names what to look up; the rest is the text.
  size_t nl = in.find('\n');
  std::string name = nl == std::string::npos ? in : in.substr(0, nl);
  std::string text = nl == std::string::npos ? std::string() : in.substr(nl + 1);
  (void)qv::GetHeaderField(text, name);
  (void)qv::GetParamValue(text, name);
  std::time_t t;
  (void)qv::ParseHttpDate(in, t);
  (void)qv::GMTToLocalDateTime(text);
  qv::TIdHeaderList list;
  list.Add(text);
  list.Add(name + ": " + text);
  (void)list.GetValue(name);
  list.SetValue(name, text);
  (void)list.Names(0);
  return 0;
}

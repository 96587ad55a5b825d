// Parses each message file with GMime and prints, per file, its subject as
// GMime decodes it, the number of its MIME parts and the name of its Cc
// group (RFC 2047 words joined as the RFC says): fields separated by 0x1F,
// records by NUL, since the texts may hold tabs and line breaks; exits
// with 1 when a file cannot be parsed.
#include <gmime/gmime.h>

#include <cstdio>

int main(int argc, char** argv) {
  g_mime_init();
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    GMimeStream* stream = g_mime_stream_file_open(argv[i], "rb", nullptr);
    if (!stream) {
      std::fprintf(stderr, "%s: cannot open\n", argv[i]);
      status = 1;
      continue;
    }
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    if (!message) {
      std::fprintf(stderr, "%s: not a message\n", argv[i]);
      status = 1;
    } else {
      int parts = 0;
      GMimePartIter* iter = g_mime_part_iter_new(reinterpret_cast<GMimeObject*>(message));
      if (g_mime_part_iter_is_valid(iter)) do ++parts; while (g_mime_part_iter_next(iter));
      g_mime_part_iter_free(iter);
      const char* subject = g_mime_message_get_subject(message);
      InternetAddressList* cc = g_mime_message_get_cc(message);
      const char* ccName = cc && internet_address_list_length(cc) > 0
                               ? internet_address_get_name(internet_address_list_get_address(cc, 0))
                               : nullptr;
      std::printf("%s\x1f%s\x1f%d\x1f%s%c", argv[i], subject ? subject : "", parts, ccName ? ccName : "", '\0');
      g_object_unref(message);
    }
    g_object_unref(parser);
    g_object_unref(stream);
  }
  g_mime_shutdown();
  return status;
}

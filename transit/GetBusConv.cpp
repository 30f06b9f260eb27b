// Makes sure a converted route file exists before the transit links are built:
// converts the keyword text again, keeps the converted file, or asks the user.
#include <cstdint>
#include <string>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {

const std::string DASHES = "  " + std::string(55, '-');

// Asks until a whole number is typed. Without further input the converted
// file is kept, as the safer of the two answers.
int32_t ask_which(int LOG) {
  for (;;) {
    write_text(SCREEN, "  ( Use 0=Converted File, 1=Original File) which = ");
    int32_t answer = 0;
    const ReadResult r = read_answer(answer);
    if (r) return answer;
    if (r.end()) {
      write_line(SCREEN, "");
      say(LOG, {" No answer given: the converted file is used."});
      return 0;
    }
    write_line(SCREEN, " Please answer 0 or 1.");
  }
}

}  // namespace

void GETBUSCONV(Settings& set, const FileNames& FN, int LOG, RouteSource* source) {
  if (source != nullptr) *source = RouteSource{};
  int16_t& route_file_choice = set.route_file_choice;
  // Names are 40-character texts: padded for the A fields, trimmed for the disk.
  const std::string input = pad(FN[1], 40);
  const std::string converted = pad(FN[2], 40);
  const std::string_view input_name = trim(input);
  const std::string_view converted_name = trim(converted);
  const bool have_input = file_exists(input_name);
  const bool have_converted = file_exists(converted_name);

  if (route_file_choice == 1) {
    if (have_input) {
      BUSCONV(FN, LOG, source);
    } else if (!have_converted) {
      say(LOG, {" *** ERROR *** Can not find ", input_name});
    }
    return;
  }
  if (!have_converted) {
    BUSCONV(FN, LOG, source);
    return;
  }
  if (!have_input) {
    say_fmt(LOG, "(' This program use the existing ',A16)", {converted});
    say_fmt(LOG, "(' because ',A16,' does not exist')", {input});
    return;
  }
  if (route_file_choice == 2) {
    say_fmt(LOG, "('  This program use the existing ',A30)", {converted});
    return;
  }

  write_line(SCREEN, DASHES);
  write_fmt(SCREEN, "(2X,A16,' (converted file) exists')", {converted});
  write_free(SCREEN, {"   0 ; Use this converted file ", converted_name});
  write_fmt(SCREEN, "('    1 ; Use original ',A16,' & convert again')", {input});
  write_line(SCREEN, "   if input = 1, the Converted File will be over written");
  write_line(SCREEN, DASHES);
  const int32_t answer = ask_which(LOG);
  // The choice is 16-bit; an answer beyond it means neither 0 nor 1 anyway.
  route_file_choice = (answer >= INT16_MIN && answer <= INT16_MAX) ? int16_t(answer) : int16_t(0);

  if (LOG > 0) {
    write_line(LOG, DASHES);
    write_fmt(LOG, "(2X,A16,' (converted file) exists')", {converted});
    write_free(LOG, {" 0 ; Use this converted file ", converted_name});
    write_fmt(LOG, "('  1 ; Use original ',A16,' & convert again')", {input});
    write_fmt(LOG, "('  ( Use 0=Converted File, 1=Original File) which = ',I2)", {answer});
    write_line(LOG, DASHES);
  }
  if (answer == 1) {
    say(LOG, {" Convert from ", input_name});
    BUSCONV(FN, LOG, source);
  } else {
    say(LOG, {" This program use the existing ", converted_name});
  }
}

}  // namespace routava

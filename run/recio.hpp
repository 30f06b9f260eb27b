// The record layer: every file and console exchange goes through here.
//
// Units: 5 is the keyboard, 6 the screen; files are opened on units chosen by
// the caller (free_unit() gives the lowest free one from 10 upward).
// Formats are Fortran-style descriptor lists parsed at run time:
//   Iw Iw.m Fw.d Aw A nX nHc 'text' "text" r(...) rI5 ... and $ (no advance).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace routava {

constexpr int KEYBOARD = 5;
constexpr int SCREEN = 6;

// ---------------------------------------------------------------- formats

struct FormatItem {
  enum Kind : uint8_t { INT, REAL, TEXT, SKIP, LITERAL, GROUP_OPEN, GROUP_CLOSE, NO_ADVANCE };
  FormatItem() = default;
  explicit FormatItem(Kind k) : kind(k) {}
  Kind kind = LITERAL;
  int w = 0;       // width (0 for A without width)
  int d = -1;      // decimals (F) or minimum digits (I.m); -1 when not given
  int repeat = 1;  // for GROUP_OPEN: repeat count; GROUP_CLOSE: index of its open
  int partner = 0; // GROUP_OPEN: index of its close
  std::string text;  // LITERAL
};

// A parsed descriptor list. It does not change once parsed, so one format may
// serve several units written by several threads.
class Format {
 public:
  Format() = default;
  // Throws std::invalid_argument on a malformed descriptor list (a program fault).
  static Format parse(std::string_view text);
  const std::vector<FormatItem>& items() const { return items_; }
  int reversion_point() const { return reversion_; }
  bool no_advance() const { return no_advance_; }
  const std::string& source() const { return source_; }
  // Different for every parse, the same for copies: tells a unit which format's
  // fields it remembers.
  uint64_t id() const { return id_; }
  // The list with every group unrolled and neighbouring literals merged: the whole
  // list once, and the part that reversion repeats (empty when unrolling is too big).
  const std::vector<FormatItem>& flat() const { return flat_; }
  const std::vector<FormatItem>& flat_reversion() const { return flat_reversion_; }

  // Column writing plan of an unrolled list: the literal text before the first
  // data item, then per data item its leading blanks (nX before it, written only
  // with its value) and the literal text that follows it up to the next data
  // item, blanks of nX folded in, trailing nX dropped. `bound` is the most
  // characters one pass writes, texts of A without width excepted.
  struct WriteOp {
    FormatItem::Kind kind;  // INT, REAL or TEXT
    int32_t lead = 0;
    int32_t w = 0;
    int32_t d = -1;
    uint32_t tail_at = 0;  // in literals()
    uint32_t tail_len = 0;
  };
  struct WritePlan {
    uint32_t head_at = 0;
    uint32_t head_len = 0;
    std::vector<WriteOp> ops;
    size_t bound = 0;
    bool free_text = false;  // an A without width: the texts add to the bound
  };
  const WritePlan& plan() const { return plan_; }
  const WritePlan& plan_reversion() const { return plan_reversion_; }
  const std::string& literals() const { return literals_; }

 private:
  std::vector<FormatItem> flat_;
  std::vector<FormatItem> flat_reversion_;
  WritePlan plan_;
  WritePlan plan_reversion_;
  std::string literals_;
  std::vector<FormatItem> items_;  // expanded: repeated single descriptors unrolled
  int reversion_ = 0;              // item index where writing resumes on a new line
  bool no_advance_ = false;
  std::string source_;
  uint64_t id_ = 0;
};

// A value handed to a writer.
struct Out {
  enum Kind : uint8_t { INT, REAL, TEXT };
  Kind kind;
  int64_t i = 0;
  double f = 0.0;
  std::string_view s;
  Out() : kind(INT) {}
  Out(int16_t v) : kind(INT), i(v) {}
  Out(int32_t v) : kind(INT), i(v) {}
  Out(int64_t v) : kind(INT), i(v) {}
  Out(float v) : kind(REAL), f(double(v)) {}
  Out(double v) : kind(REAL), f(v) {}
  Out(const char* v) : kind(TEXT), s(v) {}
  Out(std::string_view v) : kind(TEXT), s(v) {}
  Out(const std::string& v) : kind(TEXT), s(v) {}
};

// A variable handed to a reader.
struct In {
  enum Kind : uint8_t { I16, I32, I64, R32, R64, TEXT };
  Kind kind;
  void* p;
  int len = 0;  // TEXT: the variable's length in characters (0 = as long as the value)
  In(int16_t* v) : kind(I16), p(v) {}
  In(int32_t* v) : kind(I32), p(v) {}
  In(int64_t* v) : kind(I64), p(v) {}
  In(float* v) : kind(R32), p(v) {}
  In(double* v) : kind(R64), p(v) {}
  In(std::string* v, int length) : kind(TEXT), p(v), len(length) {}
};

// ---------------------------------------------------------------- formatting to text

// Append one record formatted by `f` to `line` (no line end); when the values
// outlast the format, the further records are separated by '\n' (reversion).
void format_record(std::string& line, const Format& f, std::initializer_list<Out> values);
void format_record(std::string& line, const Format& f, const Out* values, size_t n);

// Free writing of one record: a leading blank, numbers separated by blanks,
// texts as they stand.
void format_free(std::string& line, std::initializer_list<Out> values);

// Single fields, exactly as the descriptors write them.
void put_int(std::string& out, int64_t v, int w, int m = -1);
void put_real(std::string& out, double v, int w, int d);
void put_text(std::string& out, std::string_view s, int w);

// Blank-pad or cut a text to n characters; trim trailing blanks.
std::string pad(std::string_view s, size_t n);
std::string_view trim(std::string_view s);

// ---------------------------------------------------------------- units

// Case-insensitive existence test in the working directory.
bool file_exists(std::string_view name);
// The name on disk that matches `name` without regard to case, or `name` itself.
std::string disk_name(std::string_view name);

int free_unit();  // lowest unit number from 10 upward that is not open
bool is_open(int unit);
// Open for sequential reading; false when the file does not exist.
bool open_read(int unit, std::string_view name);
// Create or overwrite (an existing file of the same name in another case is replaced).
// False when the file cannot be created. The records go to a temporary file beside
// it ("name.part"), which close_unit renames into place: a run that fails or is
// killed never leaves a half-written file under the name. A name that is a link
// or a device is written in place, as it always was.
bool open_write(int unit, std::string_view name);
bool open_read_binary(int unit, std::string_view name);
bool open_write_binary(int unit, std::string_view name);
// Create or overwrite in place: the log grows as the run goes, so that a run cut
// short leaves its log up to there.
bool open_log(int unit, std::string_view name);
// Closes the unit. An output is flushed and put in place, or with delete_file
// removed (with any earlier file of its name). False when the output could not be
// written in full: it is then not put in place, and the failure is kept for
// say_write_failures.
bool close_unit(int unit, bool delete_file = false);
// Closes every unit. Outputs still open belong to a routine that did not finish
// them: they are dropped (an earlier file of the name stays), except those written
// in place, which are closed as they are.
void close_all_units();
// Removes a file of the working directory (name matched without regard to case).
void remove_file(std::string_view name);
std::string unit_name(int unit);  // file name of an open unit ("" if none)
long unit_line(int unit);         // number of the record read last on the unit

// Console redirection (tests); nullptr restores std::cin / std::cout.
void set_console(std::istream* in, std::ostream* out);
void flush_unit(int unit);

// ---------------------------------------------------------------- writing

void write_fmt(int unit, const Format& f, std::initializer_list<Out> values);
void write_fmt(int unit, const Format& f, const Out* values, size_t n);
void write_fmt(int unit, std::string_view fmt, std::initializer_list<Out> values);
void write_free(int unit, std::initializer_list<Out> values);
void write_line(int unit, std::string_view text);  // the text as one record
void write_text(int unit, std::string_view text);  // raw text, no line end (prompts)
// Unformatted sequential record of 32-bit integers.
void write_binary(int unit, const int32_t* values, int n);

// Messages: the same record to the screen and then to the log (log <= 0: screen only).
void say(int log, std::initializer_list<Out> values);                    // free writing
void say_fmt(int log, const Format& f, std::initializer_list<Out> values);  // column writing
void say_fmt(int log, std::string_view fmt, std::initializer_list<Out> values);
void say_line(int log, std::string_view text);

// ---------------------------------------------------------------- reporting
//
// A routine that finds a problem writes its message with say*, raises IERR and
// returns; the caller decides whether the run goes on (0 normal, 1-8 warnings,
// 9 and above fatal).

// The largest error level: counts saturate here instead of wrapping.
constexpr int LEVEL_CAP = 30000;
// The status printed after an allocation-failure message.
constexpr int ALLOC_STATUS = 1;

// Says, for every output whose writing failed since the last call (a full disk,
// a file that cannot be put in place), which file and why; returns how many.
int say_write_failures(int log);
// Says, for every file whose last record was cut short since the last call, its
// name and line (free reading drops such a record); returns how many.
int say_cut_records(int log);
// The number of messages said so far that carry an error marker ("ERROR",
// "*** Error ***"): a run that says one and goes on to its end needs a look.
long error_messages();

// Raises an error level by `by`, saturating at LEVEL_CAP.
void raise_level(int16_t& IERR, int by);
// " === SUBROUTINE name =======" (rule: the number of closing "="), screen then log.
void say_heading(int log, std::string_view name, int rule = 7);
// The heading, then `what` (" WORK(LR,10,3) allocation error") with ALLOC_STATUS;
// raises IERR by 9.
void say_alloc_failure(int log, std::string_view name, std::string_view what, int16_t& IERR,
                       int rule = 7);

// ---------------------------------------------------------------- reading

enum class ReadStatus { OK, END, BAD };

struct ReadResult {
  ReadStatus status = ReadStatus::OK;
  std::string bad_text;  // the text that could not be converted (BAD)
  bool cut_short = false;  // END inside a record: the file ended before its last values
  explicit operator bool() const { return status == ReadStatus::OK; }
  bool end() const { return status == ReadStatus::END; }
  bool bad() const { return status == ReadStatus::BAD; }
};

// Raw record (line end, CR and a leading byte-order mark removed). False at end of file.
bool read_line(int unit, std::string& line);

// Free reading of one record (may continue over following lines).
ReadResult read_free(int unit, std::initializer_list<In> vars);
ReadResult read_free_text(std::string_view text, std::initializer_list<In> vars);
// One value already cut out of a record into `var`, as read_free_text(token, {var})
// stores it, without the list reading around it; true when it converts.
bool read_free_value(std::string_view token, const In& var);
// Column reading of one record against a descriptor list.
ReadResult read_cols(int unit, const Format& f, std::initializer_list<In> vars);
ReadResult read_cols(int unit, std::string_view fmt, std::initializer_list<In> vars);
ReadResult read_cols_text(std::string_view line, const Format& f, std::initializer_list<In> vars);
ReadResult read_cols_text(std::string_view line, const Format& f, const In* vars, size_t n);
// Unformatted record of n 32-bit integers; false at end of file.
bool read_binary(int unit, int32_t* values, int n);

// A value that cannot be converted where the reading routine does not catch it.
class FatalReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Records of a file that a reader leaves out or doubts, said once per file with
// the first of them instead of once per record.
struct RecordTally {
  long count = 0;
  long first_line = 0;
  std::string first_text;
};
// Counts the record read last on `unit`.
void tally_record(RecordTally& tally, int unit);
// " *** Warning *** NAME: N record(s) WHAT, the first at line L: "TEXT"" (nothing when none).
void say_tally(int log, const RecordTally& tally, std::string_view name, std::string_view what);

// The line after a message about a record: "    in NAME, line N: "TEXT"", the
// record read last on the open unit (the text only while no other unit was read).
void say_record(int log, int unit);
// The text say_record says, for a message said later (the unit may be closed by then).
std::string record_place(int unit);
// A value read that a result column cannot show: when `value`, written with the
// single descriptor of `column_format` (as the result file writes it, whole
// numbers rounded), gives asterisks, says " *** Warning *** NAME, line N: WHAT
// VALUE does not fit COLUMN and prints there as asterisks." for the record read
// last on `unit`. True when said.
bool say_if_too_wide(int log, int unit, const Format& column_format, double value, std::string_view what,
                     std::string_view column);
// Throws FatalReadError naming the unit's file, its line number and the text.
[[noreturn]] void fatal_read(int unit, const ReadResult& r);
// The same readers, with BAD turned into FatalReadError: true = OK, false = END.
bool read_free_or_fail(int unit, std::initializer_list<In> vars);
bool read_cols_or_fail(int unit, const Format& f, std::initializer_list<In> vars);

// One integer answer from the keyboard. Blank lines are waited through.
// END when the input is exhausted; BAD when the answer is not a whole number.
ReadResult read_answer(int32_t& value);

}  // namespace routava

// The range driver with the real search on a tiny table, for what the end-
// to-end runs cannot easily provoke: files that cannot be written mid-run.
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "app/range_driver.hpp"
#include "primes/small_primes.hpp"
#include "scratch_dir.hpp"
#include "search/factor_search.hpp"
#include "sievedata/data_loader.hpp"

namespace {

class RangeDriverRun : public ScratchDir {
 protected:
  // Runs [1000000000, 1000000100] with a save after every prime, once
  // `blocked` stands in the working directory.
  std::string run(bool update_data_file, const char* blocked) {
    write("Vesk.dat", "12\n1000\n5000\nk=1234\n1100\n+24\n+48\n");
    std::filesystem::create_directory(blocked);
    sievedata::SieveTable table;
    std::ostringstream load_output;
    EXPECT_TRUE(sievedata::load_sieve_data("Vesk.dat", table, 0, load_output));
    primes::build_small_primes(primes::small_prime_limit);
    const search::SearchSetup setup = search::prepare_search(table);
    app::RunSettings settings;
    settings.pmin = 1000000000;
    settings.pmax = 1000000100;
    settings.save_interval = 0;
    settings.update_data_file = update_data_file;
    const sievedata::OutputSettings output;
    std::ostringstream out;
    EXPECT_EQ(app::run_ranges(settings, output, table, setup, out), 0);
    return out.str();
  }
};

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
  return found;
}

// The primes 1000000007, 1000000009, 1000000021, 1000000033, 1000000087,
// 1000000093 and 1000000097: seven saves and the "Done" line, each lost
// write reported, and the range still finished.
TEST_F(RangeDriverRun, LostStatusWritesAreReportedAndTheRunGoesOn) {
  const std::string out = run(false, "VeskStatus.dat");
  EXPECT_EQ(count(out, "p = "), 7u);
  EXPECT_EQ(count(out, "Warning: could not write VeskStatus.dat\n"), 8u);
  EXPECT_NE(out.find("\nDone\nWarning: could not write VeskStatus.dat\n"), std::string::npos);
  EXPECT_NE(out.find("No new range found in nextrange.txt. Exiting.\n"), std::string::npos);
}

TEST_F(RangeDriverRun, DataFileThatCannotBeRewrittenIsKept) {
  // The data file is replaced through a temporary file beside it.
  const std::string out = run(true, "Vesk.dat.tmp");
  EXPECT_NE(out.find("Done\nSaving Vesk.dat...\nError: could not write Vesk.dat; the old file was kept unchanged.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(read("Vesk.dat"), "12\n1000\n5000\nk=1234\n1100\n+24\n+48\n");
  EXPECT_EQ(read("VeskStatus.dat").substr(0, 20), "pmin=1000000007 @ 0 ");
}

}  // namespace

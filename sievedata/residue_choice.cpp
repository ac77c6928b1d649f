// Every n of a slot is r + d*q with r = offset < d, so n mod (m*d) is
// r + d*(q mod m): the classes of n mod m*d are those of q mod m. Counting
// them needs one flag per value below m <= 49 whatever d is, and the count
// for one m stops as soon as its outcome is settled (see class_cap). With
// many n nearly every m ends after a handful of elements, so choosing the
// modulus costs about one pass over the n for each m that wins.
#include "sievedata/residue_choice.hpp"

#include <algorithm>
#include <limits>
#include <sstream>
#include <string>

namespace sievedata {

namespace {

using Flags = std::array<unsigned char, max_modulus_multiplier>;

// Distinct values of q = n div step mod m over the n, counted up to `cap`.
u32 count_classes(const NSet& n_set, u32 step, u32 m, u32 cap, Flags& seen) {
  seen.fill(0);
  u32 distinct = 0;
  for (const u32 n : n_set) {
    const u32 c = n / step % m;
    if (seen[c] == 0) {
      seen[c] = 1;
      if (++distinct == cap) break;
    }
  }
  return distinct;
}

// How far counting the classes for m needs to go: m classes are all there
// can be; 11 rule the m out; and once m / classes has fallen to the best
// ratio so far (within 1e-10) the m can no longer win, since the count only
// grows. Stopping there leaves the outcome exactly as a full count would.
u32 class_cap(u32 m, double best) {
  const u32 cap = std::min(m, max_residues + 1);
  for (u32 classes = 1; classes < cap; ++classes) {
    if (double(m) / classes <= best + 1e-10) return classes;
  }
  return cap;
}

// A ratio as the stream prints a double by default (6 significant digits),
// independent of whatever precision the caller's stream was left with.
std::string format_ratio(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

}  // namespace

ResidueChoice choose_residues(const NSet& n_set, u32 k, u32 step, u32 offset, u32 verbosity,
                              std::ostream& out) {
  Flags seen{};
  Flags best_seen{};
  double best = 0.0;
  u32 m_best = 1;
  for (u32 m = 1; m <= max_modulus_multiplier; ++m) {
    const common::u64 modulus = static_cast<common::u64>(m) * step;
    if (modulus > std::numeric_limits<u32>::max()) break;
    const u32 classes = count_classes(n_set, step, m, class_cap(m, best), seen);
    if (!n_set.empty() && classes > max_residues) continue;
    // A slot without n has no classes: the ratio is infinite, so m = 1 wins.
    const double ratio = classes == 0 ? std::numeric_limits<double>::infinity() : double(m) / classes;
    if (ratio > best + 1e-10) {
      best = ratio;
      m_best = m;
      // A winner's count ran to the end or found all m classes: its flags
      // are the complete set of classes.
      best_seen = seen;
      if (verbosity >= 2) {
        // Without n both quotients divide by zero; they are shown as inf.
        const std::string per_class = classes == 0 ? "inf" : format_ratio(double(modulus) / classes);
        const std::string factor = classes == 0 ? "inf" : format_ratio(ratio);
        out << "k: " << k << " a: " << modulus << "(" << m << "*" << step << ") : " << classes
            << " diff. a/diff: " << per_class << " factor: " << factor << std::endl;
      }
    }
  }
  if (verbosity >= 2) out << std::endl;

  ResidueChoice choice;
  choice.n_modulus = m_best * step;
  for (u32 c = 0; c < m_best; ++c) {
    if (best_seen[c] != 0) choice.n_residues[choice.n_residue_count++] = offset + step * c;  // ascending in c
  }
  return choice;
}

}  // namespace sievedata

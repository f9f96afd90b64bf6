#include "leads.h"

#include <algorithm>

namespace {

// Whether a group's fit names points that give its bytes with our taps.
bool fitted_with_our_taps(const std::optional<group_fit>& fit) {
  return fit && !fit->structures.empty() && !fit->fitted_taps;
}

// The points of the fits, each with the groups it reproduces: taken one by one, the one that
// reproduces the most groups still unexplained first, the nearest ours of the first group to
// show it where they tie.
std::vector<lead> point_leads(const check_report& report) {
  std::vector<size_t> fitted;
  std::vector<structure> candidates;
  std::vector<size_t> named_by;  // the group whose fit names each candidate
  for (size_t k = 0; k < report.fits.size(); ++k) {
    if (!fitted_with_our_taps(report.fits[k])) continue;
    fitted.push_back(k);
    for (const structure& s : nearest_points(*report.fits[k], report.groups[k].key)) {
      if (std::find(candidates.begin(), candidates.end(), s) == candidates.end()) {
        candidates.push_back(s);
        named_by.push_back(k);
      }
    }
  }
  std::vector<std::vector<size_t>> explains(candidates.size());
  for (size_t c = 0; c < candidates.size(); ++c) {
    for (const size_t k : fitted) {
      if (reproduces_group(*report.fits[k], report.groups[k].key, candidates[c])) {
        explains[c].push_back(k);
      }
    }
  }
  std::vector<lead> leads;
  std::vector<bool> explained(report.groups.size(), false);
  for (;;) {
    size_t best = candidates.size(), most = 0;
    for (size_t c = 0; c < candidates.size(); ++c) {
      const size_t fresh = static_cast<size_t>(std::count_if(
          explains[c].begin(), explains[c].end(), [&](size_t k) { return !explained[k]; }));
      if (fresh > most) best = c, most = fresh;
    }
    if (best == candidates.size()) return leads;
    for (const size_t k : explains[best]) explained[k] = true;
    lead l;
    l.point = candidates[best];
    l.named_by = named_by[best];
    l.groups = explains[best];
    leads.push_back(l);
  }
}

// What the fit found otherwise, in words, each with the groups that found it.
std::vector<lead> finding_leads(const check_report& report) {
  std::vector<lead> leads;
  for (size_t k = 0; k < report.fits.size(); ++k) {
    if (!report.fits[k] || fitted_with_our_taps(report.fits[k])) continue;
    const std::string words = fit_finding(*report.fits[k]);
    if (words.empty()) continue;
    auto known = std::find_if(leads.begin(), leads.end(),
                              [&](const lead& l) { return *l.finding == words; });
    if (known == leads.end()) known = leads.insert(leads.end(), lead{});
    known->finding = words;
    known->groups.push_back(k);
  }
  return leads;
}

bool covers(const std::vector<size_t>& all, const std::vector<size_t>& some) {
  return std::all_of(some.begin(), some.end(),
                     [&](size_t k) { return std::find(all.begin(), all.end(), k) != all.end(); });
}

}  // namespace

std::vector<lead> ranked_leads(const check_report& report) {
  std::vector<lead> leads, faults;
  for (size_t k = 0; k < report.groups.size(); ++k) {
    const group_report& g = report.groups[k];
    const std::optional<std::string>& relation =
        k < report.located.groups.size() ? report.located.groups[k].relation : std::nullopt;
    if (g.differing_bytes && relation) {
      auto known = std::find_if(leads.begin(), leads.end(),
                                [&](const lead& l) { return *l.relation == *relation; });
      if (known == leads.end()) known = leads.insert(leads.end(), lead{});
      known->relation = relation;
      known->groups.push_back(k);
    }
    for (const diagnosed_fault& fault : g.diagnosis) {
      auto known = std::find_if(faults.begin(), faults.end(),
                                [&](lead& l) { return same_fault(&*l.fault, fault); });
      if (known == faults.end()) known = faults.insert(faults.end(), lead{});
      known->fault = fault;
      known->groups.push_back(k);
    }
  }
  for (lead& l : leads) {
    for (const group_location& g : report.located.groups) {
      l.unknowable += std::count(g.unknowable.begin(), g.unknowable.end(), *l.relation);
    }
  }
  leads.insert(leads.end(), faults.begin(), faults.end());
  for (std::vector<lead> fitted : {point_leads(report), finding_leads(report)}) {
    for (lead& l : fitted) {
      const bool told = std::any_of(faults.begin(), faults.end(),
                                    [&](const lead& f) { return covers(f.groups, l.groups); });
      if (!told) leads.push_back(std::move(l));
    }
  }
  std::stable_sort(leads.begin(), leads.end(),
                   [](const lead& a, const lead& b) { return a.groups.size() > b.groups.size(); });
  return leads;
}

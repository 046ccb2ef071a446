#include "cp/difference_cycle.hpp"

#include <algorithm>
#include <cstdint>

namespace mekra::cp {

namespace {

// Edges grouped by their source node (compressed rows).
struct Graph {
    std::vector<std::size_t> first;  // edges of node v: targets[first[v] .. first[v+1])
    std::vector<std::size_t> targets;
    std::vector<Int128> weights;

    Graph(std::size_t nodes, const std::vector<DifferenceEdge>& edges) : first(nodes + 1, 0) {
        for (const DifferenceEdge& e : edges) ++first[e.from + 1];
        for (std::size_t v = 0; v < nodes; ++v) first[v + 1] += first[v];
        targets.resize(edges.size());
        weights.resize(edges.size());
        std::vector<std::size_t> fill(first.begin(), first.end() - 1);
        for (const DifferenceEdge& e : edges) {
            targets[fill[e.from]] = e.to;
            weights[fill[e.from]] = e.weight;
            ++fill[e.from];
        }
    }
};

// Work limit of the negative-cycle search, in edge visits: beyond it the answer is left to
// propagation.
constexpr std::uint64_t CYCLE_WORK_BASE = 50'000'000;
constexpr std::uint64_t CYCLE_WORK_PER_EDGE = 20;

// Strongly connected components (Tarjan's algorithm with an explicit stack): component
// number per node.
std::vector<std::size_t> components(const Graph& g, std::size_t nodes) {
    constexpr std::size_t unvisited = SIZE_MAX;
    std::vector<std::size_t> index(nodes, unvisited), low(nodes, 0), component(nodes, unvisited);
    std::vector<std::size_t> stack;
    std::vector<std::pair<std::size_t, std::size_t>> calls;  // node, next edge
    std::size_t counter = 0, count = 0;
    for (std::size_t root = 0; root < nodes; ++root) {
        if (index[root] != unvisited) continue;
        calls.push_back({root, g.first[root]});
        index[root] = low[root] = counter++;
        stack.push_back(root);
        while (!calls.empty()) {
            auto& [v, edge] = calls.back();
            if (edge < g.first[v + 1]) {
                std::size_t w = g.targets[edge++];
                if (index[w] == unvisited) {
                    index[w] = low[w] = counter++;
                    stack.push_back(w);
                    calls.push_back({w, g.first[w]});
                } else if (component[w] == unvisited) {
                    low[v] = std::min(low[v], index[w]);
                }
                continue;
            }
            std::size_t done = v;
            calls.pop_back();
            if (!calls.empty()) low[calls.back().first] = std::min(low[calls.back().first], low[done]);
            if (low[done] == index[done]) {
                std::size_t w;
                do {
                    w = stack.back();
                    stack.pop_back();
                    component[w] = count;
                } while (w != done);
                ++count;
            }
        }
    }
    return component;
}

// Reverse post-order of a depth-first search from every node in turn: along any path that
// is not closed by a cycle, a node comes before the nodes it leads to.
std::vector<std::size_t> scan_order(const Graph& g, std::size_t nodes) {
    std::vector<char> seen(nodes, 0);
    std::vector<std::size_t> post;
    post.reserve(nodes);
    std::vector<std::pair<std::size_t, std::size_t>> calls;  // node, next edge
    for (std::size_t root = 0; root < nodes; ++root) {
        if (seen[root]) continue;
        seen[root] = 1;
        calls.push_back({root, g.first[root]});
        while (!calls.empty()) {
            auto& [v, edge] = calls.back();
            if (edge < g.first[v + 1]) {
                std::size_t w = g.targets[edge++];
                if (!seen[w]) {
                    seen[w] = 1;
                    calls.push_back({w, g.first[w]});
                }
                continue;
            }
            post.push_back(v);
            calls.pop_back();
        }
    }
    return {post.rbegin(), post.rend()};
}

}  // namespace

std::vector<std::size_t> depth_first_order(std::size_t nodes, const std::vector<DifferenceEdge>& edges) {
    return scan_order(Graph(nodes, edges), nodes);
}

bool has_negative_cycle(std::size_t nodes, const std::vector<DifferenceEdge>& edges) {
    if (edges.empty()) return false;
    for (const DifferenceEdge& e : edges) {
        if (e.from == e.to && e.weight < 0) return true;
    }
    Graph g(nodes, edges);
    std::vector<std::size_t> component = components(g, nodes);

    // Shortest paths from a virtual source joined to every node by a zero edge, along edges
    // inside one component only (a cycle never leaves its component). A path of as many
    // edges as the component has nodes repeats a node: a negative cycle. Passes scan the
    // nodes in depth-first order, so a chain settles in one pass, not one pass per link.
    std::vector<std::size_t> size(nodes, 0);
    for (std::size_t v = 0; v < nodes; ++v) ++size[component[v]];
    std::vector<std::size_t> order = scan_order(g, nodes);
    std::erase_if(order, [&](std::size_t v) { return size[component[v]] < 2; });
    std::vector<Int128> distance(nodes, 0);
    std::vector<std::size_t> length(nodes, 0);
    std::uint64_t budget = CYCLE_WORK_BASE + CYCLE_WORK_PER_EDGE * static_cast<std::uint64_t>(edges.size());
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t v : order) {
            for (std::size_t e = g.first[v]; e < g.first[v + 1]; ++e) {
                if (budget-- == 0) return false;
                std::size_t w = g.targets[e];
                if (component[w] != component[v]) continue;
                Int128 through = distance[v] + g.weights[e];
                if (through >= distance[w]) continue;
                distance[w] = through;
                length[w] = length[v] + 1;
                if (length[w] >= size[component[w]]) return true;
                changed = true;
            }
        }
    }
    return false;
}

TiedClasses tied_classes(std::size_t nodes, const std::vector<DifferenceEdge>& edges) {
    std::vector<DifferenceEdge> ties;
    for (const DifferenceEdge& e : edges) {
        if (e.weight <= 0) ties.push_back(e);
    }
    TiedClasses result;
    result.of = components(Graph(nodes, ties), nodes);
    for (const DifferenceEdge& e : ties) {
        if (e.weight < 0 && result.of[e.from] == result.of[e.to]) result.negative_cycle = true;
    }
    return result;
}

}  // namespace mekra::cp

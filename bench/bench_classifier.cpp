// Classification throughput on ordinary and hostile texts of 1 MB and 10 MB.
// The hostile ones break backtracking matchers and recursive parsers; here
// they must cost about what ordinary text of the same size costs.
#include "classifier.h"

#include <benchmark/benchmark.h>

namespace {

QString repeatedTo(const QString &unit, qsizetype size)
{
    QString s;
    s.reserve(size + unit.size());
    while (s.size() < size)
        s += unit;
    s.truncate(size);
    return s;
}

qsizetype sizeOf(const benchmark::State &state) { return state.range(0) << 20; }

QString prose(qsizetype size)
{
    return repeatedTo(QStringLiteral("The quick brown fox jumps over the lazy dog, then rests a while by "
                                     "the river and counts the boats drifting past.\n"),
                      size);
}

// C-like code with none of the named languages' markers: every step runs.
QString code(qsizetype size)
{
    return repeatedTo(QStringLiteral("static int total(int *xs, int n) {\n    int sum = 0;\n"
                                     "    for (int i = 0; i < n; ++i) {\n        if (xs[i] == 0) continue;\n"
                                     "        sum += xs[i];\n    }\n    return sum;\n}\n"),
                      size);
}

QString json(qsizetype size)
{
    QString s = QStringLiteral("[");
    s += repeatedTo(QStringLiteral("{\"id\": 12345, \"name\": \"caf\u00E9\", \"tags\": [true, null, -1.5e3]},"), size - 2);
    s += QStringLiteral("0]");
    return s;
}

QString unclosedTags(qsizetype size) { return repeatedTo(QStringLiteral("<a"), size); }

QString deepBrackets(qsizetype size) { return QString(size - 1, u'[') + u']'; }

QString spacesInRgb(qsizetype size) { return QStringLiteral("rgb(") + QString(size - 4, u' '); }

QString longLink(qsizetype size)
{
    return QStringLiteral("https://example.com/") + QString(size - 20, u'a');
}

template<QString (*make)(qsizetype)>
void classify(benchmark::State &state)
{
    const QString text = make(sizeOf(state));
    for (auto _ : state)
        benchmark::DoNotOptimize(Classifier::classify(text));
    state.SetBytesProcessed(state.iterations() * text.size() * qint64(sizeof(QChar)));
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->MinTime(0.5);
}

} // namespace

BENCHMARK(classify<prose>)->Name("prose")->Apply(sizes);
BENCHMARK(classify<code>)->Name("code")->Apply(sizes);
BENCHMARK(classify<json>)->Name("json")->Apply(sizes);
BENCHMARK(classify<longLink>)->Name("link")->Apply(sizes);
BENCHMARK(classify<unclosedTags>)->Name("hostile_unclosed_tags")->Apply(sizes);
BENCHMARK(classify<deepBrackets>)->Name("hostile_deep_brackets")->Apply(sizes);
BENCHMARK(classify<spacesInRgb>)->Name("hostile_spaces_in_rgb")->Apply(sizes);

BENCHMARK_MAIN();

"""The module inside Python: bad input, the memory check, the trial cap, Ctrl-C, progress,
the GIL and runs in several threads."""

import signal
import subprocess
import sys
import threading

import numpy as np
import pytest

import polychain

# Runs far longer than any test waits for them: they end only by an interrupt.
LONG_RUNS = [
    ("meander", 10_000, 2_000_000, {}),  # many short chains
    ("saw", 2_000_000, 1, dict(max_trials=10**12)),  # inside one long chain
    ("pivot", 100_000, 1_000_000, {}),
]


@pytest.mark.parametrize("call,words", [
    (lambda: polychain.run("meander", 0, 10), ["steps (--steps)", "from 1 to 2147483647"]),
    (lambda: polychain.run("meander", 2**70, 3), ["steps (--steps)", "from 1 to 2147483647"]),
    (lambda: polychain.sweep("meander", steps=[2**70, 10], iterations=3),
     ["steps (--steps)", "from 1 to 2147483647"]),
    (lambda: polychain.run("meander", 10, -3), ["iterations (--iterations)", "from 1 to"]),
    (lambda: polychain.sample("meander", 10, 0), ["count (--chains)", "from 1 to 2147483647"]),
    (lambda: polychain.run("meander", 10, 10, threads=0), ["threads (--threads)", "1 to 1024"]),
    (lambda: polychain.run("short-range", 10, 10, kuhn=0), ["kuhn (--kuhn)", "must not be 0"]),
    (lambda: polychain.run("short-range", 10**6, 1, kuhn=10**4), ["kuhn (--kuhn)", "2147483647"]),
    (lambda: polychain.run("pivot", 10**8, 10), ["steps (--steps)", "from 1 to 67108862"]),
    (lambda: polychain.run("pivot", 100, 10, walkers=0), ["walkers (--walkers)"]),
    (lambda: polychain.run("walk", 10, 10), ["model (--model)", "meander, saw"]),
    (lambda: polychain.run("meander", float("nan"), 10), ["steps (--steps)", "number"]),
    (lambda: polychain.run("meander", 10, 10, seed=-1), ["seed (--seed)", "18446744073709551615"]),
    (lambda: polychain.sweep("saw", [100, 100], 10), ["steps (--steps)", "two"]),
    (lambda: polychain.sweep("saw", [100, 0], 10), ["steps (--steps)", "from 1 to"]),
    # The core's errors name every field they speak of by its keyword, a sample's count too.
    (lambda: polychain.run("melt", 10, 1, density=0.5, box=10),
     ["density (--density) and box (--box) are either-or"]),
    (lambda: polychain.sample("melt", 10, 10**5, box=10),
     ["raise box (--box), or lower count (--chains) or steps (--steps)"]),
])
def test_bad_input_names_the_parameter(call, words):
    with pytest.raises(ValueError) as caught:
        call()
    for word in words:
        assert word in str(caught.value)
    assert "-2147483648" not in str(caught.value)


@pytest.mark.parametrize("call,words", [
    # A keyword no setting of the model has names the model's settings.
    (lambda: polychain.run("saw", 10, 2, avoidance=2), ["'avoidance'", "saw model are avoid"]),
    (lambda: polychain.run("meander", 10, 2, avoid=2), ["'avoid'", "meander model are none"]),
    (lambda: polychain.sweep("pivot", [10, 20], 2, kuhn=2),
     ["'kuhn'", "pivots_per_sample"]),
    (lambda: polychain.sample("short-range", 10, 2, seeds=1), ["'seeds'", "kuhn", "seed"]),
    # Flags take a bool only; whole numbers no text.
    (lambda: polychain.run("meander", 10, 2, gofr="yes"), ["gofr", "True or False"]),
    (lambda: polychain.run("meander", 10, 2, per_chain=1), ["per_chain", "True or False"]),
    (lambda: polychain.run("meander", "10", 1), ["steps (--steps)", "whole number"]),
    (lambda: polychain.run("saw", 10, 1, avoid="2"), ["avoid (--avoid)", "whole number"]),
])
def test_wrong_keywords_and_types_are_type_errors(call, words):
    with pytest.raises(TypeError) as caught:
        call()
    for word in words:
        assert word in str(caught.value)


def test_numbers_are_read_as_the_command_reads_them():
    # 2.5 rounds to 2 and 3.5 to 4, halves to even, as --iterations 2.5 does; numpy's
    # numbers are numbers.
    assert polychain.run("meander", 10, 2.5, seed=1).chains == 2
    assert polychain.run("meander", 10, 3.5, seed=1).chains == 4
    r = polychain.run("saw", np.int64(10), np.int32(3), seed=np.uint64(1), avoid=np.int64(2),
                      gofr=np.bool_(True))
    assert r.to_dict() == polychain.run("saw", 10, 3, seed=1, avoid=2, gofr=True).to_dict()


def test_a_run_too_big_for_the_memory_is_refused_before_it_starts():
    # Under a 2 GB address-space limit a chain of 10^9 sites cannot fit.
    script = (
        "import resource, polychain\n"
        "resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))\n"
        "try:\n"
        "    polychain.run('meander', 10**9, 1)\n"
        "except MemoryError as e:\n"
        "    print('refused:', e)\n")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("refused: Steps (N) = 1000000000 needs about")


def test_a_chain_past_the_trial_cap_raises_trial_limit_error():
    # With this seed the chains before index 16 finish within the cap, and chain 16 is boxed
    # in for good. On one thread it is the chain named; on two, a later chain boxed in as
    # well may pass the cap first, and the error names whichever did.
    for threads in (1, 2):
        with pytest.raises(polychain.TrialLimitError) as caught:
            polychain.run("saw", 150, 30, avoid=2, seed=11, threads=threads,
                          max_trials=10**6, restart_trapped=0)
        e = caught.value
        assert isinstance(e, polychain.Error)
        assert (e.seed, e.steps) == (11, 150)
        assert e.chain == 16 if threads == 1 else e.chain >= 16
        assert "limit of 1000000 trials" in str(e) and f"Chain index {e.chain}" in str(e)
    with pytest.raises(polychain.TrialLimitError, match="N = 500"):
        polychain.sweep("saw", [100, 500], 5, seed=3, max_trials=300)


@pytest.mark.parametrize("model,steps,iterations,settings", LONG_RUNS,
                         ids=[r[0] for r in LONG_RUNS])
def test_ctrl_c_raises_keyboard_interrupt_and_python_goes_on(model, steps, iterations,
                                                              settings):
    main = threading.get_ident()
    timer = threading.Timer(0.3, signal.pthread_kill, (main, signal.SIGINT))
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            polychain.run(model, steps, iterations, seed=1, **settings)
    finally:
        timer.cancel()
    # The interpreter and the module are as before: a run gives its usual numbers.
    assert (polychain.run("saw", 50, 5, seed=2, max_trials=10**6).to_dict() ==
            polychain.run("saw", 50, 5, seed=2, max_trials=10**6).to_dict())


def test_progress_reaches_the_callable_and_its_exception_stops_the_run():
    calls = []
    polychain.run("meander", 100_000, 400, seed=1, progress=lambda d, t: calls.append((d, t)))
    assert calls[-1] == (400, 400)
    assert all(t == 400 for _, t in calls) and calls == sorted(calls)

    class Stop(Exception):
        pass

    def stop(done, total):
        raise Stop

    with pytest.raises(Stop):
        polychain.run(*LONG_RUNS[0][:3], seed=1, progress=stop)


def test_the_text_bar_knows_its_total_from_its_first_frame():
    # tqdm writes each frame after a carriage return; a bar without a total shows its count
    # without a bar ("0sample [00:00, ?sample/s]").
    script = ("import polychain\n"
              "polychain.run('pivot', 2000, 40, seed=1, progress=True)\n"
              "polychain.sweep('meander', [100, 200], 30, seed=1, progress=True)\n")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, done.stderr
    frames = [f for f in done.stderr.replace("\n", "\r").split("\r") if f.strip()]
    assert frames and all("|" in f and "/" in f for f in frames), frames
    assert any(f.startswith("pivot N = 2000: 100%") and "40/40" in f for f in frames), frames
    assert any("meander sweep: 100%" in f and "9000/9000" in f for f in frames), frames


def test_the_gil_is_released_and_runs_in_two_threads_agree():
    counted = 0
    running = threading.Event()

    def count():
        nonlocal counted
        while running.is_set():
            counted += 1

    running.set()
    counter = threading.Thread(target=count)
    counter.start()
    try:
        before = counted
        polychain.run("meander", 100_000, 1_000, seed=1, threads=1)
        during = counted - before
    finally:
        running.clear()
        counter.join()
    # A run holding the GIL would leave the counting thread no turn at all.
    assert during > 10_000

    args = [("saw", 300, 60, dict(seed=4, max_trials=10**7)),
            ("pivot", 3000, 40, dict(seed=4, walkers=2))]
    alone = [polychain.run(m, n, i, **s).to_dict() for m, n, i, s in args]
    together = [None, None]

    def one(k):
        m, n, i, s = args[k]
        together[k] = polychain.run(m, n, i, **s).to_dict()

    threads = [threading.Thread(target=one, args=(k,)) for k in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert together == alone


def test_a_sample_count_that_the_table_gives_a_setting_sets_it(monkeypatch):
    # A model whose one sample holds many chains names the setting the count sets; here the
    # pivot model's walkers stand in for such a setting.
    import dataclasses

    pivot = dataclasses.replace(polychain.models["pivot"], sample_count="walkers")
    monkeypatch.setitem(polychain.models, "pivot", pivot)
    chains = polychain.sample("pivot", 40, 3, seed=2)
    assert chains.shape == (1, 41, 3)  # one sample, by three walkers
    np.testing.assert_array_equal(chains[0], polychain.run("pivot", 40, 1, seed=2,
                                                           walkers=3).chain)
    with pytest.raises(ValueError, match=r"count \(--chains\).*from 1 to 1000000"):
        polychain.sample("pivot", 40, 0)
    with pytest.raises(TypeError, match="'walkers' twice"):
        polychain.sample("pivot", 40, 3, walkers=2)

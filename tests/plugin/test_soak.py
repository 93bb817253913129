"""A short soak (tests/plugin/soak.py): patrol after patrol of changing
feeds in one host, some answering 304, one failing now and then, one slow,
one asking for a pause mid-way. Every item served is delivered exactly
once, and after the first ten patrols the host's address space, memory,
handles and threads stay flat (within 5 per cent). 50 patrols on the 64-bit
twin (about a minute and a half), 25 under emulation; scripts/soak.sh runs
1,000."""
from feed_server import FeedServer
from kivhost import is_64bit_build
from soak import judge, run_soak


def test_a_short_soak_stays_flat_and_delivers_each_item_once(tmp_path):
    patrols = 50 if is_64bit_build() else 25
    with FeedServer() as server:
        samples, served, delivered = run_soak(server, tmp_path / "plugins", patrols, sample_every=5)
    failures, summary = judge(samples, served, delivered, settle=10)
    assert not failures, "\n".join(summary + failures)
    assert len(served) == 10 and sum(delivered.values()) > 5 * patrols
